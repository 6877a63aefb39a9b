# A file between two brenvo-cli processes through the delay proxy at several
# round trips, next to a plain TCP copy through the same kind of proxy.
add_executable(window_bench ${CMAKE_CURRENT_LIST_DIR}/window_bench.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/delayproxy.h ${PROJECT_SOURCE_DIR}/tests/support/delayproxy.cpp)
target_link_libraries(window_bench PRIVATE bench_support)
target_compile_definitions(window_bench PRIVATE BRENVO_CLI_PATH="$<TARGET_FILE:brenvo-cli>")
add_dependencies(window_bench brenvo-cli)
