# 32-bit tree: the shipped programs and TDShellExt.dll. The win32 thread model
# keeps winpthreads (and its import of GetTickCount64) out of the binaries, so
# they still start on Windows 2000 and XP.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TDZ_MINGW_TRIPLET i686-w64-mingw32)
set(TDZ_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
