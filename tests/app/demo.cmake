# The application started with the demo phones that the demo generator built;
# the README states the backup password that the test types.
add_dependencies(tst_demoapp demo_phones AppleMobileBackup corefoundation mobiledevice)
target_compile_definitions(tst_demoapp PRIVATE QS_DEMO_SCENARIO="${CMAKE_BINARY_DIR}/share/demo/scenario.plist"
                                               QS_README="${PROJECT_SOURCE_DIR}/README.md")
