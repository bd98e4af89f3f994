# cmake -P pack.cmake with LIBRARIES, X86_DIR, X64_DIR, NOTES, OUT_DIR and NAME: packs
# OUT_DIR/NAME.zip with NAME/x86 and NAME/x64 (each library and its description) and the notes.

# The machine field of a PE file's COFF header: 14c for i386, 8664 for x86-64.
function(pe_machine file out)
  file(READ ${file} pe_offset OFFSET 60 LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1" pe_offset ${pe_offset})
  math(EXPR machine_offset "${pe_offset} + 4")
  file(READ ${file} machine OFFSET ${machine_offset} LIMIT 2 HEX)
  string(REGEX REPLACE "(..)(..)" "\\2\\1" machine ${machine})
  string(REGEX REPLACE "^0+" "" machine ${machine})
  set(${out} ${machine} PARENT_SCOPE)
endfunction()

set(stage ${OUT_DIR}/${NAME})
file(REMOVE_RECURSE ${stage} ${OUT_DIR}/${NAME}.zip)
foreach(arch x86 x64)
  if(arch STREQUAL x86)
    set(dir ${X86_DIR})
    set(expected 14c)
  else()
    set(dir ${X64_DIR})
    set(expected 8664)
  endif()
  foreach(library IN LISTS LIBRARIES)
    if(NOT EXISTS ${dir}/${library}.lum OR NOT EXISTS ${dir}/${library}.lum.json)
      message(FATAL_ERROR "${dir}/${library}.lum or its description is missing: build the win32 and win64 presets first")
    endif()
    # A host cannot load a library of the other architecture: never ship one in the wrong folder.
    pe_machine(${dir}/${library}.lum machine)
    if(NOT machine STREQUAL expected)
      message(FATAL_ERROR "${dir}/${library}.lum is not an ${arch} Windows library (machine ${machine})")
    endif()
    file(COPY ${dir}/${library}.lum ${dir}/${library}.lum.json DESTINATION ${stage}/${arch})
  endforeach()
endforeach()
file(COPY ${NOTES} DESTINATION ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${NAME}.zip --format=zip ${NAME} WORKING_DIRECTORY ${OUT_DIR}
                COMMAND_ERROR_IS_FATAL ANY)
