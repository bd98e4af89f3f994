# 32-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Scalar SSE2 math, so flush-to-zero and denormals-are-zero mean something.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse ${lum_mingw_vector_moves}")
