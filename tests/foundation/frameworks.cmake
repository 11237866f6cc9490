# The framework tests load the CoreFoundation stand-in by path, so it is built
# first. A tiny library named like the MobileDevice stand-in, in a folder of
# its own, lets the loader test every load outcome.
add_library(qs_test_mobiledevice SHARED ${CMAKE_CURRENT_SOURCE_DIR}/foundation/fake_mobiledevice.c)
set_target_properties(qs_test_mobiledevice PROPERTIES
  OUTPUT_NAME qs_mobiledevice
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/fake-frameworks)
add_dependencies(tst_cftype corefoundation)
add_dependencies(tst_mobiledevice_loader corefoundation qs_test_mobiledevice)
target_compile_definitions(tst_mobiledevice_loader PRIVATE
  QS_FAKE_MOBILEDEVICE="$<TARGET_FILE:qs_test_mobiledevice>"
  QS_COREFOUNDATION="$<TARGET_FILE:corefoundation>")
