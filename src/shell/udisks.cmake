# Opening a disk through udisks2 (Qt D-Bus, no widgets): its own small
# library so the window links it without the rest of the shell depending on
# D-Bus. Included from the top-level list when the GUI is built.
find_package(Qt6 REQUIRED COMPONENTS DBus)
add_library(dorvak_udisks STATIC ${CMAKE_CURRENT_LIST_DIR}/udisks_open.cpp)
target_include_directories(dorvak_udisks PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(dorvak_udisks PUBLIC dorvak_disk Qt6::Core Qt6::DBus)
target_compile_definitions(dorvak_udisks PRIVATE QT_NO_KEYWORDS)
