# tdz mount and tdz umount, in the host tree where pkg-config finds FUSE 3
# (libfuse3 on Linux; on macOS macFUSE's fuse3-compatible package, not tried
# here). Without it tdz still builds and the two commands say they are not
# available.
set(TDZ_MOUNT_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TDZ_FUSE3_FOUND OFF)
if(TDZ_NATIVE)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(FUSE3 QUIET IMPORTED_TARGET fuse3)
    set(TDZ_FUSE3_FOUND ${FUSE3_FOUND})
  endif()
endif()

# The mount's files include the tool's own headers by their names.
target_include_directories(tdz PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
if(NOT TDZ_FUSE3_FOUND)
  target_sources(tdz PRIVATE ${TDZ_MOUNT_DIR}/mount_unavailable.cpp)
  return()
endif()

# What the mount reads and writes, without FUSE: tested on its own.
find_package(Threads REQUIRED)
tdz_portable_library(tdz_mount_core
  SOURCES ${TDZ_MOUNT_DIR}/container_reader.cpp ${TDZ_MOUNT_DIR}/container_view.cpp
          ${TDZ_MOUNT_DIR}/container_writer.cpp ${TDZ_MOUNT_DIR}/decoded_cache.cpp
          ${TDZ_MOUNT_DIR}/source_tree.cpp
  LIBS relc container_core Threads::Threads)
target_include_directories(tdz_mount_core PUBLIC ${TDZ_MOUNT_DIR})
target_include_directories(tdz_mount_core_san PUBLIC ${TDZ_MOUNT_DIR})

target_sources(tdz PRIVATE
  ${TDZ_MOUNT_DIR}/mount_command.cpp
  ${TDZ_MOUNT_DIR}/mount_file_system.cpp
  ${TDZ_MOUNT_DIR}/mount_operations.cpp
  ${TDZ_MOUNT_DIR}/mount_write_operations.cpp
)
target_link_libraries(tdz PRIVATE tdz_mount_core PkgConfig::FUSE3)

tdz_add_gtest(tdz_mount_core_tests
  SOURCES ${CMAKE_SOURCE_DIR}/tests/tools/mount_core_test.cpp
  LIBS tdz_mount_core)

# Real mounts: they need /dev/fuse and the right to mount, and skip (77)
# without them; serial, since they mount and unmount.
foreach(group listing reading damage lifetime writing)
  add_test(NAME tdz_mount_${group}
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/tdz_mount_test.sh
            $<TARGET_FILE:tdz> ${TDZ_CORPUS_DIR}
            ${CMAKE_CURRENT_BINARY_DIR}/tdz_mount_${group} ${group})
  set_tests_properties(tdz_mount_${group} PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 600)
endforeach()
