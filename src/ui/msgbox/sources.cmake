# The markup message box: ShowMarkupMessageBox, its parameter record, button
# sets and labels, remembered answers, layout, countdown and painting.
target_sources(dorvak_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/button_sets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/button_sets.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_message_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_message_box.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_message_box_p.h
  ${CMAKE_CURRENT_LIST_DIR}/message_box_actions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_box_paint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_box_params.h
  ${CMAKE_CURRENT_LIST_DIR}/remembered_answers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/remembered_answers.h
  ${CMAKE_CURRENT_LIST_DIR}/show_markup_message_box.cpp
)
