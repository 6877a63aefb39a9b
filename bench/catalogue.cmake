# Merging long lists of new ids into the catalogue: the time per list, and the
# longest event-loop turn while a 100,000-entry list crosses a connection.
add_executable(catalogue_bench ${CMAKE_CURRENT_LIST_DIR}/catalogue_bench.cpp)
target_link_libraries(catalogue_bench PRIVATE bench_support vortan_internal Qt6::Core Qt6::Network)
