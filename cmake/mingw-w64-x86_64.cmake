# Cross-compiles the Windows x64 program on Linux with mingw-w64; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix-thread variant: std::thread and std::mutex need it (the win32 variant lacks them).
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
# Resource compiler for the icons, dialogs and strings of the .rc script.
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Look for libraries and headers only in the mingw sysroot and in our own .deps/mingw,
# never in the host's /usr (a Linux librtmidi would be found otherwise); programs on the host.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CMAKE_CURRENT_LIST_DIR}/../.deps/mingw)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest and try_run start Windows executables through the Wine loader directly; the `wine`
# wrapper would ask for the 32-bit package, which we do not need.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
