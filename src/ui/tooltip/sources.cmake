# The markup tooltip: tools and relay, timers and fading, geometry and
# mirroring, the shaped "CVxToolTip" window, and the inspection table.
target_sources(dorvak_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/inspection_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inspection_text.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_tool_tip.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_tool_tip.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_tool_tip_relay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_tip_geometry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_tip_geometry.h
  ${CMAKE_CURRENT_LIST_DIR}/tool_tip_types.h
  ${CMAKE_CURRENT_LIST_DIR}/tool_tip_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_tip_window.h
)
