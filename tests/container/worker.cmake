# Tests of the worker thread, the job producers and the job hand-over
# (sources in src/container/worker.cmake). Windows only; included by this
# folder's CMakeLists.txt. job_test_support (the stand-in frame and worker)
# is shared with tests/drives.
if(NOT TDZ_WINDOWS OR TDZ_WIN32)
  return()
endif()

add_library(job_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/test_frame.cpp)
target_include_directories(job_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(job_test_support PUBLIC container_jobs gtest)

tdz_add_gtest(container_jobs_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/worker_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/job_post_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/folder_walk_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/queue_notified_test.cpp
  LIBS job_test_support container_jobs)
