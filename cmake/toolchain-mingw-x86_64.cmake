# Cross build for 64-bit Windows (x86_64): the same sources, for the Wine tests
# on machines whose kernel runs no 32-bit code.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
