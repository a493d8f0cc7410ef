# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the POSIX-threads
# flavour, for std::thread), linking everything statically so that the .exe
# files run on a bare Windows or under wine without any DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SARVIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SARVIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SARVIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SARVIK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SARVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No link time in the PE header: the same sources give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
