# Cross build of measure.dll for Windows x86-64 with Debian's mingw-w64 (the
# POSIX thread model, so std::thread and std::mutex work). Test programs run
# under wine through cmake/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MEASURE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MEASURE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MEASURE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MEASURE_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${MEASURE_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${MEASURE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Only libraries built for mingw may be found, never the Linux ones.
set(PKG_CONFIG_EXECUTABLE ${MEASURE_MINGW_TRIPLE}-pkg-config CACHE FILEPATH "pkg-config for the cross build")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
