solvari_add_bench(bench_render SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_render.cpp LIBS solvari_render)
solvari_add_bench(bench_reading_aid SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_reading_aid.cpp LIBS solvari_render)
