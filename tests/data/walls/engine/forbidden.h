// Crafted for the walls test: the engine may not reach into a container.
#include "props/compound/cfb/compound_file.h"
