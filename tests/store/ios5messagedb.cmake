# The iOS 5 reader parses participant lists through the CoreFoundation
# stand-in, which the test loads by path.
add_dependencies(tst_ios5messagedb corefoundation)
