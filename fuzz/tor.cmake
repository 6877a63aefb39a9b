# tor's control-port replies on arbitrary bytes.
vortan_fuzz_target(fuzz_tor_replies
  SOURCES fuzz/tor_replies_fuzz.cpp vortan/tor/torreply.cpp
  LIBS Qt6::Core)
