# 64-bit tree: TDShellExt64.dll and the 64-bit twin of everything, with the
# tests. The posix thread model is needed by GoogleTest; 64-bit Windows of the
# supported kind all have what winpthreads imports.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TDZ_MINGW_TRIPLET x86_64-w64-mingw32)
set(TDZ_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
