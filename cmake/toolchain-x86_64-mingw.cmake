# Cross-compiles the same sources for 64-bit Windows, for hosts whose kernel runs no i386 code
# (32-bit Wine cannot start there): the suite then runs on this build under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
