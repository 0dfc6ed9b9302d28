# Cross-compiling for 32-bit Windows with MinGW-w64. Everything links
# statically, so no MinGW DLL has to travel with the saver.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KUBO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# ctest runs the Windows test programs through Wine (see tools/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
