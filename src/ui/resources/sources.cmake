# The program's pictures, menus and strings, generated at build time:
#   tools/art (dorvak_artgen)      -> :/bitmaps/<n>.png, :/icons/<n>.png
#   tools/rescomp (dorvak_rescomp) -> :/menus/<n>.bin, :/strings/<n>.txt
# from the readable sources under resources/. rcc turns each generated .qrc
# into C++ compiled in an object library whose objects are linked straight
# into every program that links dorvak_ui: a static initialiser registers the
# resources, with no Q_INIT_RESOURCE call needed and no risk of the linker
# dropping an unreferenced archive member.
set(_res_out ${CMAKE_CURRENT_BINARY_DIR}/generated-resources)
set(_res_src ${CMAKE_SOURCE_DIR}/resources)
# The menus, one file each, named by resource number; a new one is listed here.
set(_res_menus ${_res_src}/menus/140.menu)

add_custom_command(
  OUTPUT ${_res_out}/art.qrc
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_res_out}
  COMMAND dorvak_artgen ${_res_out}
  DEPENDS dorvak_artgen
  COMMENT "Drawing the program's bitmaps and icons"
  VERBATIM)
add_custom_command(
  OUTPUT ${_res_out}/texts.qrc
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_res_out}
  COMMAND dorvak_rescomp ${_res_out} ${_res_src}/strings.txt ${_res_menus}
  DEPENDS dorvak_rescomp ${_res_src}/strings.txt ${_res_menus}
  COMMENT "Compiling the program's menus and strings"
  VERBATIM)
foreach(_name art texts)
  add_custom_command(
    OUTPUT ${_res_out}/qrc_dorvak_${_name}.cpp
    COMMAND Qt6::rcc --name dorvak_${_name} --output ${_res_out}/qrc_dorvak_${_name}.cpp
            ${_res_out}/${_name}.qrc
    DEPENDS ${_res_out}/${_name}.qrc Qt6::rcc
    COMMENT "Packing the ${_name} resources"
    VERBATIM)
endforeach()

add_library(dorvak_ui_res OBJECT
  ${_res_out}/qrc_dorvak_art.cpp
  ${_res_out}/qrc_dorvak_texts.cpp)
target_link_libraries(dorvak_ui_res PRIVATE Qt6::Core)
set_target_properties(dorvak_ui_res PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
target_sources(dorvak_ui INTERFACE $<TARGET_OBJECTS:dorvak_ui_res>)
add_dependencies(dorvak_ui dorvak_ui_res)
