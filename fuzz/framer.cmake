# The framer's input: frames after a completed handshake, and the handshake
# record itself.
set(framer_fuzz_sources
  vortan/framer/framer.cpp vortan/crypto/crypto.cpp vortan/keys/keyhelper.cpp vortan/tor/onionkeys.cpp vortan/log.cpp)
vortan_fuzz_target(fuzz_framer_frames
  SOURCES fuzz/framer_frames_fuzz.cpp ${framer_fuzz_sources}
  LIBS Qt6::Core OpenSSL::Crypto PkgConfig::LIBSODIUM)
vortan_fuzz_target(fuzz_framer_handshake
  SOURCES fuzz/framer_handshake_fuzz.cpp ${framer_fuzz_sources}
  LIBS Qt6::Core OpenSSL::Crypto PkgConfig::LIBSODIUM)
