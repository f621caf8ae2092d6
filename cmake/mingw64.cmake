# Cross-compiling for 64-bit Windows with Debian's mingw-w64; the programs
# run under Wine for the tests. QV_WIN_DEPS names the folder where
# scripts/build-windows installs pugixml and GoogleTest built for Windows,
# QV_WIN_QT the static Qt it builds.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QV_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QV_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${QV_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW})
if(DEFINED ENV{QV_WIN_DEPS})
  list(APPEND CMAKE_FIND_ROOT_PATH $ENV{QV_WIN_DEPS})
endif()
if(DEFINED ENV{QV_WIN_QT})
  list(APPEND CMAKE_FIND_ROOT_PATH $ENV{QV_WIN_QT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One self-contained .exe per program.
set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY /usr/${QV_MINGW}/lib/libz.a CACHE FILEPATH "static zlib")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
