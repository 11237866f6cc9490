target_link_libraries(bench_display PRIVATE app qs_testsupport)
# The generated local database is kept here between runs.
target_compile_definitions(bench_display PRIVATE QS_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data")
