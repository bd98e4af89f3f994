# lum_module_library(NAME FRAMEWORK <flavour> DESCRIPTION <file.json> SOURCES ...)
# Builds NAME.lum into lib/ on the framework flavour's objects, exporting only
# MP_GetFactory, and ships its module description beside it as NAME.lum.json.
function(lum_module_library name)
  cmake_parse_arguments(ARG "" "FRAMEWORK;DESCRIPTION" "SOURCES" ${ARGN})
  get_property(framework_objects GLOBAL PROPERTY LUM_FRAMEWORK_${ARG_FRAMEWORK})
  if(NOT framework_objects)
    message(FATAL_ERROR "unknown framework flavour '${ARG_FRAMEWORK}'")
  endif()
  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${framework_objects} lum_warnings)
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".lum" OUTPUT_NAME ${name})
  configure_file(${ARG_DESCRIPTION} ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/${name}.lum.json COPYONLY)
  if(WIN32)
    # Undecorated MP_GetFactory, and a DLL that needs only system DLLs.
    target_link_options(${name} PRIVATE -Wl,--kill-at -static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)
  else()
    target_link_options(${name} PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/module_exports.map)
    # clang leaves the sanitizer runtime to the program that loads the library.
    if(NOT LUM_FUZZ)
      target_link_options(${name} PRIVATE -Wl,--no-undefined)
    endif()
  endif()
endfunction()
