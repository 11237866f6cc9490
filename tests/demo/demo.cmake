# The demo phones are driven through the device and backup roads and read by
# the message store; the scenario is the one the demo generator built.
target_link_libraries(tst_demophones PRIVATE store device device_gui backup backup_gui)
add_dependencies(tst_demophones demo_phones AppleMobileBackup corefoundation mobiledevice)
target_compile_definitions(tst_demophones PRIVATE QS_DEMO_SCENARIO="${CMAKE_BINARY_DIR}/share/demo/scenario.plist"
                                                   QS_README="${PROJECT_SOURCE_DIR}/README.md")
