# Cross build for 32-bit Windows (i686): the product.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
