# SPDX-License-Identifier: GPL-3.0-or-later
solvari_add_bench(bench_glyph SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_glyph.cpp LIBS solvari_render)
