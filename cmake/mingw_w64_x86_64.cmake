# Cross build for 64-bit Windows with the MinGW-w64 toolchain:
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw_w64_x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BXA_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX thread model: its libstdc++ has std::thread, which the threaded compressor uses (the win32
# model's has none). winpthread is linked statically with the rest (below), so no DLL is needed.
find_program(CMAKE_CXX_COMPILER NAMES ${BXA_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${BXA_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${BXA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BXA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained bxa.exe: no libstdc++/libgcc/winpthread DLLs to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run on the build machine against the exe (see tests/windows), never as Windows executables.
set(BUILD_TESTING OFF CACHE BOOL "Cross build: no test executables")

# The C runtime's own printf family lacks C99 conversions such as %zu; MinGW's conforming one has them and
# prints exactly what the Linux build prints.
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
