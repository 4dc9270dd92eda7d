# Tests of the start-up registration, the elevation hand-over and the
# shield dialog (64-bit tree, under Wine). They share this prefix's start-up
# folder, the overlay identifier and the installed program with the
# program tests, hence their lock.
if(NOT TDZ_WIN64)
  return()
endif()

tdz_add_gtest(startup_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/startup_flow_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startup_registration_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startup_shield_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startup_test_env.cpp
    ${CMAKE_SOURCE_DIR}/src/tray/res/tray_resources.rc
  LIBS tray test_support system_test_support tdz_window_probe
  PROPERTIES FIXTURES_REQUIRED tdz_windows
    RESOURCE_LOCK tdz_tandrel_installed_state)
target_include_directories(startup_tests PRIVATE
  ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/common/res ${CMAKE_SOURCE_DIR}/src/tray/res
  ${CMAKE_CURRENT_LIST_DIR})

# The shield dialog once more under a right-to-left interface language.
add_test(NAME startup_shield_arabic
  COMMAND startup_tests --gtest_filter=ShieldDialog.*:MirrorOnce.*
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(startup_shield_arabic PROPERTIES
  ENVIRONMENT "LC_ALL=ar_SA.UTF-8" FIXTURES_REQUIRED tdz_windows)

# The hand-over with real processes of the 64-bit twin. The twin reads the
# system it plays from TDZ_PLATFORM_FACTS; that hook is linked into the
# twin alone, never into the shipped 32-bit program.
target_sources(Tandrel PRIVATE ${CMAKE_SOURCE_DIR}/src/base/platform_facts_env.cpp)
tdz_add_gtest(startup_handover_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/startup_handover_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startup_test_env.cpp
    ${CMAKE_SOURCE_DIR}/src/tray/res/tray_resources.rc
  LIBS tray test_support system_test_support tdz_window_probe
  PROPERTIES FIXTURES_REQUIRED tdz_windows TIMEOUT 600
    RESOURCE_LOCK tdz_tandrel_installed_state)
target_include_directories(startup_handover_tests PRIVATE
  ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/common/res ${CMAKE_SOURCE_DIR}/src/tray/res
  ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(startup_handover_tests PRIVATE TDZ_TANDREL_EXE=L"Z:$<TARGET_FILE:Tandrel>")
add_dependencies(startup_handover_tests Tandrel)

# Pictures of the shield dialog (startup_shield_screenshots.sh).
add_executable(startup_shield_gallery
  ${CMAKE_CURRENT_LIST_DIR}/startup_shield_gallery.cpp
  ${CMAKE_SOURCE_DIR}/src/tray/res/tray_resources.rc)
target_include_directories(startup_shield_gallery PRIVATE
  ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/common/res ${CMAKE_SOURCE_DIR}/src/tray/res)
target_link_libraries(startup_shield_gallery PRIVATE tray tdz_window_probe)
tdz_unicode_entry(startup_shield_gallery)
