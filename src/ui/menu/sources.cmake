# Owner-drawn menus: QmMenu (image column, flat and classic looks, loaded from
# the standard menu template) and IconMenu (the menu bar's popups).
target_sources(dorvak_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/icon_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/icon_menu.h
  ${CMAKE_CURRENT_LIST_DIR}/menu_look.cpp
  ${CMAKE_CURRENT_LIST_DIR}/menu_look.h
  ${CMAKE_CURRENT_LIST_DIR}/owner_drawn_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/owner_drawn_menu.h
  ${CMAKE_CURRENT_LIST_DIR}/qm_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qm_menu.h
  ${CMAKE_CURRENT_LIST_DIR}/qm_menu_loader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qm_menu_paint.cpp
)
