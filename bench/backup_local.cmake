target_link_libraries(bench_backup_local PRIVATE localdb PkgConfig::SQLITE3)
