# GoogleTest from the sources Debian ships, built with whichever compiler this
# build uses (the host compiler, with sanitizers if on, or the mingw cross
# compiler).
set(INSTALLER_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
if(NOT EXISTS "${INSTALLER_GTEST_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found in ${INSTALLER_GTEST_SOURCE}; run scripts/setup-deps.sh")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # The win32-threads variant of mingw has no std::thread; GoogleTest does not need one.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
add_subdirectory(${INSTALLER_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
