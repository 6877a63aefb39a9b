# The control socket's frames and requests on arbitrary bytes.
vortan_fuzz_target(fuzz_control
  SOURCES fuzz/control_fuzz.cpp control/wire.cpp control/messages.cpp control/remotecoding.cpp
  LIBS Qt6::Core)
