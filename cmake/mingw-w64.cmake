# Windows for CMAKE_SYSTEM_PROCESSOR (set by the including toolchain file), cross-built
# with Debian's mingw-w64; tests run under wine, which picks its 32- or 64-bit half.
set(CMAKE_SYSTEM_NAME Windows)
set(lum_mingw_triplet ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks.
set(CMAKE_C_COMPILER ${lum_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${lum_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${lum_mingw_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${lum_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry the C and C++ runtimes too, so wine needs no mingw DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# The filter's AVX2 functions may spill 32-byte registers: mingw-w64's gcc does not realign
# the stack for them (its SEH frames), so the assembler makes every aligned vector move an
# unaligned one, which costs nothing on aligned data.
set(lum_mingw_vector_moves "-Wa,-muse-unaligned-vector-move")
