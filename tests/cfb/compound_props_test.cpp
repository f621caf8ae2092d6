#include <gtest/gtest.h>
TEST(CompoundProps, Placeholder) {}
