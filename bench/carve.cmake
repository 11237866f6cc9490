target_link_libraries(bench_carve PRIVATE recovery qs_testsupport PkgConfig::SQLITE3)
# The generated sms.db is kept here between runs.
target_compile_definitions(bench_carve PRIVATE QS_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data")
