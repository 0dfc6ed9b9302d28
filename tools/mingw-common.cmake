# What both MinGW-w64 toolchain files share. They name the target triple in
# KUBO_MINGW_TRIPLE first; the posix thread-model compilers are used because
# GoogleTest needs std::mutex, which the win32 thread model lacks.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${KUBO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KUBO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KUBO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KUBO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
