# Coding of the records: 100,000 File records as one array, like transfers.plist.
add_executable(records_bench ${CMAKE_CURRENT_LIST_DIR}/records_bench.cpp)
target_link_libraries(records_bench PRIVATE vortan_internal Qt6::Core)

# A small demonstration of the library: builds a few records, codes them and
# prints what came back.
add_executable(vortan_demo ${CMAKE_CURRENT_LIST_DIR}/vortan_demo.cpp)
target_link_libraries(vortan_demo PRIVATE vortan_internal Qt6::Core)
