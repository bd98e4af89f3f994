# 64-bit Windows; its tests need a wine prefix made for 64 bits.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CXX_FLAGS_INIT "${lum_mingw_vector_moves}")
