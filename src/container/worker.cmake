# container_jobs: the worker thread that runs the jobs, the producers that
# queue them (whole-drive walk, drive watcher) and the posting that hands
# them over. Windows only; included by this folder's CMakeLists.txt.
if(NOT TDZ_WINDOWS)
  return()
endif()

add_library(container_jobs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/drive_watcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_walk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_post.cpp
  ${CMAKE_CURRENT_LIST_DIR}/volume_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/worker_thread.cpp
)
target_include_directories(container_jobs PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(container_jobs PUBLIC container_files container_core user32 kernel32)
