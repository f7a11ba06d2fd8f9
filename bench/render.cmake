# SPDX-License-Identifier: GPL-3.0-or-later
solvari_add_bench(bench_render SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_render.cpp LIBS solvari_render)
# The Qt peer of the reading page runs in the same binary, so that the two
# are compared within one run.
if(TARGET Qt6::Gui)
  target_sources(bench_render PRIVATE ${CMAKE_CURRENT_LIST_DIR}/bench_render_qt.cpp)
  target_link_libraries(bench_render PRIVATE Qt6::Gui)
endif()
solvari_add_bench(bench_reading_aid SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_reading_aid.cpp LIBS solvari_render)
