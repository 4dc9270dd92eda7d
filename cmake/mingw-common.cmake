# Shared part of the two MinGW toolchain files. Expects TDZ_MINGW_TRIPLET
# (i686-w64-mingw32 / x86_64-w64-mingw32) and TDZ_MINGW_THREADS (win32 / posix).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${TDZ_MINGW_TRIPLET}-gcc-${TDZ_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${TDZ_MINGW_TRIPLET}-g++-${TDZ_MINGW_THREADS})
set(CMAKE_RC_COMPILER  ${TDZ_MINGW_TRIPLET}-windres)
set(CMAKE_AR           /usr/bin/${TDZ_MINGW_TRIPLET}-gcc-ar-${TDZ_MINGW_THREADS} CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${TDZ_MINGW_TRIPLET}-gcc-ranlib-${TDZ_MINGW_THREADS} CACHE FILEPATH "")
set(CMAKE_OBJDUMP      /usr/bin/${TDZ_MINGW_TRIPLET}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TDZ_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything the binaries need from the compiler's runtime is linked in:
# a shipped program must not depend on libstdc++-6.dll, libgcc_s_*.dll or
# libwinpthread-1.dll being next to it.
set(_tdz_static "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "${_tdz_static}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_tdz_static}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_tdz_static}")
unset(_tdz_static)
