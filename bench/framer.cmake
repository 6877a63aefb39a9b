# Sealing and opening 1 GiB of data messages through two framers in memory,
# next to OpenSSL's AES-256-GCM alone on the same buffers.
add_executable(framer_bench ${CMAKE_CURRENT_LIST_DIR}/framer_bench.cpp)
target_link_libraries(framer_bench PRIVATE vortan_internal Qt6::Core OpenSSL::Crypto)
