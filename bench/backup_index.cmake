# The backup index benchmark builds its backups with the test fixture builder
# and reads them with the backup library; the CoreFoundation stand-in it loads
# at run time must be built too.
target_link_libraries(bench_backup_index PRIVATE backup qs_testsupport PkgConfig::SQLITE3)
add_dependencies(bench_backup_index corefoundation)
