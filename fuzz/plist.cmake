# The binary property-list reader on arbitrary bytes, and the writer on
# whatever the reader accepts.
vortan_fuzz_target(fuzz_plist
  SOURCES fuzz/plist_fuzz.cpp vortan/plist/reader.cpp vortan/plist/writer.cpp vortan/log.cpp
  LIBS Qt6::Core)
