# Cross-compiling the same sources for 64-bit Windows: the build the tests run
# under 64-bit Wine where the machine runs no 32-bit program (scripts/test).
# Players always get the 32-bit saver.
set(KUBO_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
