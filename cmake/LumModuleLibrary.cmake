# lum_module_library(NAME FRAMEWORK <flavour> DESCRIPTION <file.json> SOURCES ... [TEST]
#                    [EXPORTS <version script>])
# Builds NAME.lum into lib/ on the framework flavour's objects, exporting only
# MP_GetFactory (a test library may name a version script that exports more), and puts
# its module description beside it as NAME.lum.json. Every library
# joins the build's list, LUM_MODULE_LIBRARIES; one without TEST is shipped: installed,
# packed for release, served by the playground, validated, fuzzed and run by the thread test.
function(lum_module_library name)
  cmake_parse_arguments(ARG "TEST" "FRAMEWORK;DESCRIPTION;EXPORTS" "SOURCES" ${ARGN})
  if(ARG_EXPORTS AND NOT ARG_TEST)
    message(FATAL_ERROR "${name}: a shipped library exports MP_GetFactory alone")
  endif()
  if(NOT ARG_EXPORTS)
    set(ARG_EXPORTS ${PROJECT_SOURCE_DIR}/cmake/module_exports.map)
  endif()
  get_property(framework_objects GLOBAL PROPERTY LUM_FRAMEWORK_${ARG_FRAMEWORK})
  if(NOT framework_objects)
    message(FATAL_ERROR "unknown framework flavour '${ARG_FRAMEWORK}'")
  endif()
  get_property(index_written GLOBAL PROPERTY LUM_LIBRARY_INDEX_WRITTEN)
  if(index_written AND NOT ARG_TEST)
    # The folders after the index read the list at configure time and would miss it.
    message(FATAL_ERROR "${name}: a shipped library's folder goes before lum_write_library_index() "
                        "in the top CMakeLists.txt")
  endif()
  set_property(GLOBAL APPEND PROPERTY LUM_MODULE_LIBRARIES ${name})
  if(EMSCRIPTEN)
    # The playground links the library's objects into a WebAssembly module of its own.
    add_library(${name} OBJECT ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${framework_objects} lum_warnings)
    set_target_properties(${name} PROPERTIES LUM_FRAMEWORK_OBJECTS "${framework_objects}" LUM_TEST ${ARG_TEST})
    configure_file(${ARG_DESCRIPTION} ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/${name}.lum.json COPYONLY)
    return()
  endif()
  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${framework_objects} lum_warnings)
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".lum" OUTPUT_NAME ${name} LUM_TEST ${ARG_TEST})
  configure_file(${ARG_DESCRIPTION} ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/${name}.lum.json COPYONLY)
  if(WIN32)
    # Undecorated MP_GetFactory, and a DLL that needs only system DLLs.
    target_link_options(${name} PRIVATE -Wl,--kill-at -static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)
  else()
    target_link_options(${name} PRIVATE -Wl,--version-script=${ARG_EXPORTS})
    # clang leaves the sanitizer runtime to the program that loads the library.
    if(NOT LUM_FUZZ)
      target_link_options(${name} PRIVATE -Wl,--no-undefined)
    endif()
  endif()
endfunction()

# lum_shipped_libraries(<var>): the shipped libraries, in the order they were added.
function(lum_shipped_libraries out)
  get_property(libraries GLOBAL PROPERTY LUM_MODULE_LIBRARIES)
  set(shipped)
  foreach(library IN LISTS libraries)
    get_target_property(test ${library} LUM_TEST)
    if(NOT test)
      list(APPEND shipped ${library})
    endif()
  endforeach()
  set(${out} ${shipped} PARENT_SCOPE)
endfunction()

# lum_write_library_index(): the shipped libraries' names for code that needs them at run
# time, as generated/module_libraries.h (lumbuild::kShippedLibraries, for C++) and
# generated/module_libraries.json (an array, for JavaScript and Python) in the build tree.
function(lum_write_library_index)
  lum_shipped_libraries(libraries)
  list(TRANSFORM libraries PREPEND "\"")
  list(TRANSFORM libraries APPEND "\"")
  list(JOIN libraries ", " LUM_LIBRARY_NAMES)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/module_libraries.h.in ${CMAKE_BINARY_DIR}/generated/module_libraries.h @ONLY)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/module_libraries.json CONTENT "[@LUM_LIBRARY_NAMES@]\n" @ONLY)
  set_property(GLOBAL PROPERTY LUM_LIBRARY_INDEX_WRITTEN TRUE)
endfunction()
