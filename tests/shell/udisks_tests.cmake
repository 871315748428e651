# UdisksOpener against a mock udisks2 (python3-dbusmock) on a private bus,
# handing out a descriptor of a kernel-made image.
add_executable(shell_udisks_tests ${CMAKE_CURRENT_LIST_DIR}/test_udisks_open.cpp)
target_link_libraries(shell_udisks_tests PRIVATE dorvak_udisks dorvak_volume GTest::gtest)
# dbusmock lives in the system's Python, which a python3 first on PATH may not be.
find_program(DORVAK_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT DORVAK_SYSTEM_PYTHON)
  set(DORVAK_SYSTEM_PYTHON python3)
endif()
add_test(NAME shell_udisks_tests
         COMMAND ${DORVAK_SYSTEM_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/udisks_mock.py
                 --image ${DORVAK_TEST_IMAGES}/part-gpt4k.img -- $<TARGET_FILE:shell_udisks_tests>)
set_tests_properties(shell_udisks_tests PROPERTIES FIXTURES_REQUIRED test_images
                     SKIP_RETURN_CODE 77 TIMEOUT 120)
