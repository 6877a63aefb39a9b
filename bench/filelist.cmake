# What one publication of 5,000 records with 20 transfers running costs the
# desktop program's file list: the model and a shown view, offscreen.
if(TARGET brenvo_files)
  add_executable(filelist_bench ${CMAKE_CURRENT_LIST_DIR}/filelist_bench.cpp)
  target_link_libraries(filelist_bench PRIVATE brenvo_files vortan)
endif()
