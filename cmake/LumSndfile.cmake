# lum_sndfile: libsndfile for lumhost's audio files. Natively the system's; Debian ships no
# mingw build, so the Windows builds fetch Debian's source package into the build tree at
# configure time and cross-build it, static and without external codecs (no FLAC, Ogg,
# Vorbis, Opus or MPEG), with this build's toolchain.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET GLOBAL sndfile)
  add_library(lum_sndfile ALIAS PkgConfig::SNDFILE)
  return()
endif()

set(lum_sndfile_fetched ${CMAKE_BINARY_DIR}/external/libsndfile-source)
# Written last, so a fetch cut short is fetched again.
set(lum_sndfile_fetched_stamp ${lum_sndfile_fetched}/unpacked-into)
if(NOT EXISTS ${lum_sndfile_fetched_stamp})
  file(REMOVE_RECURSE ${lum_sndfile_fetched})
  file(MAKE_DIRECTORY ${lum_sndfile_fetched})
  message(STATUS "Fetching Debian's libsndfile source into ${lum_sndfile_fetched}")
  execute_process(COMMAND apt-get source libsndfile WORKING_DIRECTORY ${lum_sndfile_fetched} RESULT_VARIABLE lum_sndfile_status
                  OUTPUT_VARIABLE lum_sndfile_output ERROR_VARIABLE lum_sndfile_output)
  file(GLOB lum_sndfile_unpacked LIST_DIRECTORIES true ${lum_sndfile_fetched}/libsndfile-[0-9]*)
  if(NOT lum_sndfile_status EQUAL 0 OR NOT lum_sndfile_unpacked)
    message(FATAL_ERROR
            "The Windows builds cross-build libsndfile from Debian's source package, and "
            "'apt-get source libsndfile' failed (${lum_sndfile_status}). It needs dpkg-dev and a deb-src entry for "
            "bookworm, which scripts/setup adds. It said:\n${lum_sndfile_output}")
  endif()
  file(WRITE ${lum_sndfile_fetched_stamp} ${lum_sndfile_unpacked})
endif()
file(READ ${lum_sndfile_fetched_stamp} lum_sndfile_source)

include(ExternalProject)
set(lum_sndfile_installed ${CMAKE_BINARY_DIR}/external/libsndfile)
ExternalProject_Add(lum_sndfile_build
  SOURCE_DIR ${lum_sndfile_source}
  PREFIX ${CMAKE_BINARY_DIR}/external/libsndfile-build
  INSTALL_DIR ${lum_sndfile_installed}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR> -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=OFF
             -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF
             -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF -DENABLE_PACKAGE_CONFIG=OFF -DINSTALL_PKGCONFIG_MODULE=OFF
  # Two jobs, as every build here gets.
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel 2
  BUILD_BYPRODUCTS ${lum_sndfile_installed}/lib/libsndfile.a)
file(MAKE_DIRECTORY ${lum_sndfile_installed}/include)
add_library(lum_sndfile STATIC IMPORTED GLOBAL)
set_target_properties(lum_sndfile PROPERTIES IMPORTED_LOCATION ${lum_sndfile_installed}/lib/libsndfile.a
                      INTERFACE_INCLUDE_DIRECTORIES ${lum_sndfile_installed}/include)
add_dependencies(lum_sndfile lum_sndfile_build)
