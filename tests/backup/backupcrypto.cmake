# The unlock tests read Manifest.plist through the CoreFoundation stand-in.
if(TARGET tst_backupmanifestcrypto)
  add_dependencies(tst_backupmanifestcrypto corefoundation)
endif()
if(TARGET tst_passcodedlg)
  add_dependencies(tst_passcodedlg corefoundation)
endif()
