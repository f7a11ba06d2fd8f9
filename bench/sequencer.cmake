add_executable(bench_sequencer ${CMAKE_CURRENT_SOURCE_DIR}/bench_sequencer.cpp)
target_link_libraries(bench_sequencer PRIVATE solvari_core benchmark::benchmark)
