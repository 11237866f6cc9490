# The session test loads the CoreFoundation stand-in beside a small fake
# MobileDevice library (made by the foundation tests) that lacks a function.
add_dependencies(tst_sessionguard corefoundation qs_test_mobiledevice)
target_compile_definitions(tst_sessionguard PRIVATE
  QS_FAKE_MOBILEDEVICE="$<TARGET_FILE:qs_test_mobiledevice>"
  QS_COREFOUNDATION="$<TARGET_FILE:corefoundation>")
