# File names as bytes, and the tag record on real temporary files, with peer
# tools (mutagen, id3v2) as oracles.
brindlo_add_test(files_tests
  SOURCES files/test_filename.cpp files/test_tagfile.cpp files/test_peers.cpp
          files/test_othertagpeers.cpp
          files/tagfixture.cpp
  LIBS brindlo_files)
