# One publication of a 5,000-record catalogue while 20 records change.
add_executable(publication_bench ${CMAKE_CURRENT_LIST_DIR}/publication_bench.cpp)
target_link_libraries(publication_bench PRIVATE vortan_internal Qt6::Core)
