# lum_pugixml: pugixml for validate's JUnit report. Natively the system's; Debian ships no
# mingw build, so the Windows builds cross-build Debian's source package.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(pugixml CONFIG REQUIRED GLOBAL)
  add_library(lum_pugixml ALIAS pugixml::pugixml)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/DebianSourceLibrary.cmake)
lum_debian_source_library(lum_pugixml PACKAGE pugixml ARCHIVE lib/libpugixml.a CMAKE_ARGS -DPUGIXML_BUILD_TESTS=OFF)
