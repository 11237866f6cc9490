# The backup tests read property lists through the CoreFoundation stand-in,
# which the framework loader opens from the frameworks folder at run time.
foreach(name tst_mbdbparser tst_backupmanifest tst_backupfiletree tst_hostileplists tst_mbfiledecoder)
  if(TARGET ${name})
    add_dependencies(${name} corefoundation)
  endif()
endforeach()
# The device backup and restore workers run the backup tool stand-in from the
# frameworks folder and read property lists through the CoreFoundation stand-in;
# the chooser reads the listed manifests through the latter.
foreach(name tst_iosmobilebackupthread tst_loaditunesbackupdlg)
  if(TARGET ${name})
    add_dependencies(${name} AppleMobileBackup corefoundation)
  endif()
endforeach()
