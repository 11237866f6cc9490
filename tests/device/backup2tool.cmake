# The driver starts the backup tool stand-in from the frameworks folder and
# reads property lists through the CoreFoundation stand-in.
add_dependencies(tst_backup2tool AppleMobileBackup corefoundation mobiledevice)
