# Encoding and decoding speed of the binary property-list codec.
add_executable(plist_bench ${CMAKE_CURRENT_LIST_DIR}/plist_bench.cpp)
target_link_libraries(plist_bench PRIVATE vortan_internal)
