vortan_fuzz_target(fuzz_records
  SOURCES fuzz/records_fuzz.cpp
          vortan/plist/reader.cpp vortan/plist/writer.cpp
          vortan/records/errors.cpp vortan/records/blockset.cpp vortan/records/file2.cpp
          vortan/records/file.cpp vortan/records/transferbuffer.cpp vortan/records/coding.cpp
          vortan/log.cpp
  LIBS Qt6::Core)
