# Tests of the worker thread, the job producers and the job hand-over
# (sources in src/container/worker.cmake). Windows only; included by this
# folder's CMakeLists.txt.
if(NOT TDZ_WINDOWS OR TDZ_WIN32)
  return()
endif()

tdz_add_gtest(container_jobs_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/worker_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/job_post_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/folder_walk_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/queue_notified_test.cpp
  LIBS job_test_support container_jobs)
