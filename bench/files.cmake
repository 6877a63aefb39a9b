# Many small files between two brenvo-cli processes over loopback, next to
# tar | ssh and scp -r of the same folder through a temporary sshd.
add_executable(files_bench ${CMAKE_CURRENT_LIST_DIR}/files_bench.cpp)
target_link_libraries(files_bench PRIVATE bench_support)
target_compile_definitions(files_bench PRIVATE BRENVO_CLI_PATH="$<TARGET_FILE:brenvo-cli>")
add_dependencies(files_bench brenvo-cli)
