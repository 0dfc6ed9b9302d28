# Cross-compiling for 32-bit Windows with MinGW-w64. Everything links
# statically, so no MinGW DLL has to travel with the saver. The posix
# thread-model compilers, because GoogleTest needs std::mutex, which the win32
# thread model lacks. tools/mingw-x86_64.cmake reads this file for the
# tests' 64-bit build, with KUBO_MINGW_PROCESSOR set to x86_64.
if(NOT KUBO_MINGW_PROCESSOR)
  set(KUBO_MINGW_PROCESSOR i686)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KUBO_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER   ${KUBO_MINGW_PROCESSOR}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${KUBO_MINGW_PROCESSOR}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  ${KUBO_MINGW_PROCESSOR}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KUBO_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs the Windows test programs through Wine (see tools/wine-run), the
# 64-bit build's through 64-bit Wine.
if(KUBO_MINGW_PROCESSOR STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run --64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
endif()
