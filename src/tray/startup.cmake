# Start-up registration, elevation hand-over and the shield dialog: sources
# of the tray library, included by this folder's CMakeLists.txt.
target_sources(tray PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/shield_icon_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_flow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_registration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sx_button.cpp
)
