# Initial cache for the static Qt that scripts/build-windows builds from
# Debian's qtbase sources for 64-bit Windows. Only what the window needs:
# Widgets, Qt Test for the window tests, the Windows platform and styles.
# Changing anything here changes the cache key, so Qt is built again.
set(BUILD_SHARED_LIBS OFF CACHE BOOL "")
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(QT_BUILD_EXAMPLES OFF CACHE BOOL "")
set(QT_BUILD_TESTS OFF CACHE BOOL "")
set(QT_BUILD_BENCHMARKS OFF CACHE BOOL "")
# The host's own Qt (Debian's moc, rcc, uic) generates code for the target.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

foreach(feature sql network dbus opengl vulkan printsupport concurrent xml pkg_config icu zstd freetype
                # Debian's tarball drops the wintab sources that tablet events need.
                tabletevent
                # Both only matter with the two above gone, and 6.4.2 does not
                # guard their code by those features.
                direct2d dynamicgl directwrite3)
  set(FEATURE_${feature} OFF CACHE BOOL "")
endforeach()
set(FEATURE_system_zlib ON CACHE BOOL "")
set(FEATURE_testlib ON CACHE BOOL "")
