# Cross-compiling for 64-bit Windows with MinGW-w64: the same sources as the
# 32-bit build, the same posix thread model and static linking.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KUBO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# ctest runs the test programs through 64-bit Wine in a prefix of their own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run --win64)
