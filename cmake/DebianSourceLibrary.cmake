# lum_debian_source_library(TARGET PACKAGE package ARCHIVE lib/libx.a CMAKE_ARGS ...):
# a static library that Debian ships for the native build only, cross-built for this build
# from Debian's source package. The source is fetched into the build tree at configure time
# (apt-get source, which needs dpkg-dev and a deb-src entry: scripts/setup adds both) and
# built with this build's toolchain; TARGET is the imported library.
include(ExternalProject)

function(lum_debian_source_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PACKAGE;ARCHIVE" "CMAKE_ARGS")
  set(fetched ${CMAKE_BINARY_DIR}/external/${arg_PACKAGE}-source)
  # Written last, so a fetch cut short is fetched again.
  set(stamp ${fetched}/unpacked-into)
  if(NOT EXISTS ${stamp})
    file(REMOVE_RECURSE ${fetched})
    file(MAKE_DIRECTORY ${fetched})
    message(STATUS "Fetching Debian's ${arg_PACKAGE} source into ${fetched}")
    execute_process(COMMAND apt-get source ${arg_PACKAGE} WORKING_DIRECTORY ${fetched} RESULT_VARIABLE status
                    OUTPUT_VARIABLE output ERROR_VARIABLE output)
    file(GLOB unpacked LIST_DIRECTORIES true ${fetched}/${arg_PACKAGE}-[0-9]*)
    if(NOT status EQUAL 0 OR NOT unpacked)
      message(FATAL_ERROR
              "The Windows builds cross-build ${arg_PACKAGE} from Debian's source package, and "
              "'apt-get source ${arg_PACKAGE}' failed (${status}). It needs dpkg-dev and a deb-src entry for "
              "bookworm, which scripts/setup adds. It said:\n${output}")
    endif()
    file(WRITE ${stamp} ${unpacked})
  endif()
  file(READ ${stamp} source)

  set(installed ${CMAKE_BINARY_DIR}/external/${arg_PACKAGE})
  ExternalProject_Add(${target}_build
    SOURCE_DIR ${source}
    PREFIX ${CMAKE_BINARY_DIR}/external/${arg_PACKAGE}-build
    INSTALL_DIR ${installed}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
               -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR> -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=OFF ${arg_CMAKE_ARGS}
    # Two jobs, as every build here gets.
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel 2
    BUILD_BYPRODUCTS ${installed}/${arg_ARCHIVE})
  file(MAKE_DIRECTORY ${installed}/include)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${installed}/${arg_ARCHIVE}
                        INTERFACE_INCLUDE_DIRECTORIES ${installed}/include)
  add_dependencies(${target} ${target}_build)
endfunction()
