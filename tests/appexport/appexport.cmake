# The export tests include the in-memory message fixture of this folder; the
# worker, printing and folder copy tests drive the dialogs of appexport_gui.
foreach(t tst_exportwriters tst_datetextformatter tst_exportsmspdf tst_messageexporter tst_exportworkers
          tst_ios6restoremessagesbuilder tst_exportmessagesdb
          tst_localdbbackup)
  if(TARGET ${t})
    target_include_directories(${t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/appexport)
  endif()
endforeach()
if(TARGET tst_exportworkers)
  target_link_libraries(tst_exportworkers PRIVATE appexport_gui)
endif()
