# SPDX-License-Identifier: GPL-3.0-or-later
solvari_add_bench(bench_sequencer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_sequencer.cpp
                  LIBS solvari_core solvari_audio solvari_render)
