# The stand-in's internal units are linked directly: the scenario parser, the
# peer framing and the socket bridge.
foreach(t tst_socketbridge tst_simscenario tst_usbmuxbackend)
  target_link_libraries(${t} PRIVATE mobiledevice_sim mobiledevice_io)
endforeach()
# The real backend must be chosen and must not reach a usbmuxd of this machine.
set_property(TEST tst_usbmuxbackend APPEND PROPERTY ENVIRONMENT "USBMUXD_SOCKET_ADDRESS=UNIX:/nonexistent/usbmuxd")
