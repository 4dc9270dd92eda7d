# Project-wide settings and the helpers every CMakeLists.txt of the tree uses.
#
#   TDZ_NATIVE / TDZ_WINDOWS / TDZ_WIN32 / TDZ_WIN64   which tree this is
#   TDZ_CORPUS_DIR        test corpus as a host path
#   TDZ_CORPUS_DIR_TARGET the same folder as the tree's programs see it
#                         (a Z: path under Wine)
#
#   tdz_portable_library(NAME SOURCES src... [LIBS deps...])
#   tdz_add_gtest(NAME SOURCES src... [LIBS libs...] [PROPERTIES name value...])
#   tdz_unicode_entry(TARGET)          program whose entry point is wmain/wWinMain

include_guard(GLOBAL)

set(TDZ_NATIVE OFF)
set(TDZ_WINDOWS OFF)
set(TDZ_WIN32 OFF)
set(TDZ_WIN64 OFF)
if(WIN32)
  set(TDZ_WINDOWS ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TDZ_WIN64 ON)
  else()
    set(TDZ_WIN32 ON)
  endif()
else()
  set(TDZ_NATIVE ON)
endif()

get_filename_component(TDZ_CORPUS_DIR "${CMAKE_SOURCE_DIR}/../shared/corpus" ABSOLUTE)
if(TDZ_WINDOWS)
  # Wine maps Z: to the host's root; a drive-relative "/work/..." would break
  # as soon as a test changes its current directory to another drive.
  set(TDZ_CORPUS_DIR_TARGET "Z:${TDZ_CORPUS_DIR}")
else()
  set(TDZ_CORPUS_DIR_TARGET "${TDZ_CORPUS_DIR}")
endif()

set(TDZ_SANITIZE_FLAGS
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# Emulator for the 64-bit tree: runs a program in this tree's own Wine prefix.
if(TDZ_WIN64 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(TDZ_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_SOURCE_DIR}/tools/wine-run.sh;--prefix;${TDZ_WINEPREFIX}")
endif()

if(TDZ_WINDOWS)
  # UTF-16 throughout: the generic Windows names mean the W functions.
  add_compile_definitions(UNICODE _UNICODE)
  enable_language(RC)
endif()

# GoogleTest from the Debian source package, built by each tree's own
# compiler. Not in the 32-bit tree: it needs std::mutex, which the win32
# thread model lacks, and nothing 32-bit can run here anyway.
set(TDZ_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
if(NOT TDZ_WIN32 AND NOT TARGET gtest_main)
  if(NOT EXISTS "${TDZ_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found in ${TDZ_GTEST_SOURCE_DIR} "
                        "(Debian package googletest; run tools/install-deps.sh)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(INSTALL_GMOCK OFF CACHE BOOL "" FORCE)
  if(TDZ_WINDOWS)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  endif()
  add_subdirectory("${TDZ_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_googletest" EXCLUDE_FROM_ALL)
  include(GoogleTest)
endif()

# Portable core: no platform headers, built by all three toolchains. In the
# host tree NAME_san is the same code under ASan and UBSan for the tests.
function(tdz_portable_library NAME)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBS")
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tdz_portable_library(${NAME}): no SOURCES")
  endif()
  add_library(${NAME} STATIC ${ARG_SOURCES})
  target_include_directories(${NAME} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  if(ARG_LIBS)
    target_link_libraries(${NAME} PUBLIC ${ARG_LIBS})
  endif()

  if(TDZ_NATIVE)
    add_library(${NAME}_san STATIC ${ARG_SOURCES})
    target_include_directories(${NAME}_san PUBLIC "${CMAKE_SOURCE_DIR}/src")
    target_compile_options(${NAME}_san PRIVATE ${TDZ_SANITIZE_FLAGS} -g)
    target_link_options(${NAME}_san INTERFACE ${TDZ_SANITIZE_FLAGS})
    foreach(lib IN LISTS ARG_LIBS)
      # Evaluated at generation time, so a dependency defined later counts too.
      target_link_libraries(${NAME}_san PUBLIC
        "$<IF:$<TARGET_EXISTS:${lib}_san>,${lib}_san,${lib}>")
    endforeach()
  endif()
endfunction()

# A GoogleTest program registered with ctest (one ctest entry per test case).
# Host tree: sanitized, linked to the _san libraries. 64-bit tree: run under
# Wine. 32-bit tree: nothing. PROPERTIES are set on every test case (for
# example RESOURCE_LOCK for tests that share registry values of the prefix).
function(tdz_add_gtest NAME)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBS;PROPERTIES")
  if(TDZ_WIN32)
    return()
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tdz_add_gtest(${NAME}): no SOURCES")
  endif()
  add_executable(${NAME} ${ARG_SOURCES})
  target_compile_definitions(${NAME} PRIVATE TDZ_CORPUS_DIR="${TDZ_CORPUS_DIR_TARGET}")
  target_link_libraries(${NAME} PRIVATE gtest_main)
  if(TDZ_NATIVE)
    target_compile_options(${NAME} PRIVATE ${TDZ_SANITIZE_FLAGS} -g)
    target_link_options(${NAME} PRIVATE ${TDZ_SANITIZE_FLAGS})
    foreach(lib IN LISTS ARG_LIBS)
      target_link_libraries(${NAME} PRIVATE
        "$<IF:$<TARGET_EXISTS:${lib}_san>,${lib}_san,${lib}>")
    endforeach()
  else()
    target_link_libraries(${NAME} PRIVATE ${ARG_LIBS})
  endif()

  set(env "TDZ_CORPUS_DIR=${TDZ_CORPUS_DIR_TARGET}")
  if(TDZ_NATIVE)
    list(APPEND env "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  gtest_discover_tests(${NAME}
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    # A hung case (a window nobody closes) fails in minutes, not in ctest's 25.
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300 ${ARG_PROPERTIES})
endfunction()

# For a program whose entry point is wmain or wWinMain (MinGW picks the
# Unicode start-up code only with -municode, at compile and at link time).
function(tdz_unicode_entry TARGET)
  if(TDZ_WINDOWS)
    target_compile_options(${TARGET} PRIVATE -municode)
    target_link_options(${TARGET} PRIVATE -municode)
  endif()
endfunction()
