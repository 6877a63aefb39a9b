# 1 GiB of data messages over one loopback PeerConnection, next to a plain
# QTcpSocket copy of the same bytes.
add_executable(peer_bench ${CMAKE_CURRENT_LIST_DIR}/peer_bench.cpp)
target_link_libraries(peer_bench PRIVATE bench_support vortan_internal Qt6::Core Qt6::Network)
