# Custom controls: hover and image buttons, flat combo box, colored and
# transparent labels, group box, percentage progress bar; plus the small
# helpers the other toolkit folders share (system colors, window messages,
# resource pictures).
target_sources(dorvak_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/color_style.cpp
  ${CMAKE_CURRENT_LIST_DIR}/color_style.h
  ${CMAKE_CURRENT_LIST_DIR}/color_widgets.h
  ${CMAKE_CURRENT_LIST_DIR}/flat_combo_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/flat_combo_box.h
  ${CMAKE_CURRENT_LIST_DIR}/hover_button.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hover_button.h
  ${CMAKE_CURRENT_LIST_DIR}/image_button.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_button.h
  ${CMAKE_CURRENT_LIST_DIR}/resource_images.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resource_images.h
  ${CMAKE_CURRENT_LIST_DIR}/system_colors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_colors.h
  ${CMAKE_CURRENT_LIST_DIR}/text_progress_bar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_progress_bar.h
  ${CMAKE_CURRENT_LIST_DIR}/transparent_static.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transparent_static.h
  ${CMAKE_CURRENT_LIST_DIR}/window_message.h
  ${CMAKE_CURRENT_LIST_DIR}/xp_group_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xp_group_box.h
)
