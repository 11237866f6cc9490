# The backup tests read property lists through the CoreFoundation stand-in,
# which the framework loader opens from the frameworks folder at run time.
foreach(name tst_mbdbparser tst_backupmanifest tst_backupfiletree)
  if(TARGET ${name})
    add_dependencies(${name} corefoundation)
  endif()
endforeach()
