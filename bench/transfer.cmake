# 1 GiB between two brenvo-cli processes over loopback, next to plain TCP
# (iperf3 when installed, and a socket copy) and scp through a temporary sshd.
add_executable(transfer_bench ${CMAKE_CURRENT_LIST_DIR}/transfer_bench.cpp)
target_link_libraries(transfer_bench PRIVATE bench_support)
target_compile_definitions(transfer_bench PRIVATE BRENVO_CLI_PATH="$<TARGET_FILE:brenvo-cli>")
add_dependencies(transfer_bench brenvo-cli)
