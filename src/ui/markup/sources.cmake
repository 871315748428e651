# Markup renderer, style sheet, colors, tables and background effects.
target_sources(dorvak_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/background_effects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/background_effects.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_colors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_colors.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_fonts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_fonts.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_images.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_images.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_layout.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_paragraph.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_renderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_renderer.h
  ${CMAKE_CURRENT_LIST_DIR}/markup_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_text.h
  ${CMAKE_CURRENT_LIST_DIR}/style_sheet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/style_sheet.h
  ${CMAKE_CURRENT_LIST_DIR}/style_values.h
)
