# lum_sndfile: libsndfile for lumhost's audio files. Natively the system's; Debian ships no
# mingw build, so the Windows builds cross-build Debian's source package, static and
# without external codecs (no FLAC, Ogg, Vorbis, Opus or MPEG).
if(NOT CMAKE_CROSSCOMPILING)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET GLOBAL sndfile)
  add_library(lum_sndfile ALIAS PkgConfig::SNDFILE)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/DebianSourceLibrary.cmake)
lum_debian_source_library(lum_sndfile PACKAGE libsndfile ARCHIVE lib/libsndfile.a
  CMAKE_ARGS -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF
             -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF -DENABLE_PACKAGE_CONFIG=OFF -DINSTALL_PKGCONFIG_MODULE=OFF)
