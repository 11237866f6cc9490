# The cache, index-writing and merge tests read and write property lists
# through the CoreFoundation stand-in, which the framework loader opens at run time.
foreach(name tst_itunescachesmsthread tst_mbdbwriter tst_iosmergewafiles2itunesbkthread)
  if(TARGET ${name})
    add_dependencies(${name} corefoundation)
  endif()
endforeach()
