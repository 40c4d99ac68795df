# File names as bytes, and the tag record on real temporary files, with peer
# tools (mutagen, id3v2) as oracles.
brindlo_add_test(files_tests
  SOURCES files/test_filename.cpp files/test_tagfile.cpp files/test_peers.cpp
          files/test_othertagpeers.cpp files/test_diskcall.cpp
          files/tagfixture.cpp
  LIBS brindlo_files)

# The window on a share that is slow or never answers, through a file system
# in user space of the tests' own (skipped, and saying so, without FUSE).
brindlo_add_test(slowdisk_tests QT_MAIN
  SOURCES files/test_slowdisk.cpp
  LIBS brindlo_window brindlo_test_support brindlo_slowdisk Qt6::Test)
