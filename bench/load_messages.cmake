target_link_libraries(bench_load_messages PRIVATE store qs_testsupport PkgConfig::SQLITE3)
# The generated sms.db is kept here between runs.
target_compile_definitions(bench_load_messages PRIVATE QS_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data")
