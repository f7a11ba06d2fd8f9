# SPDX-License-Identifier: GPL-3.0-or-later
# The start-up floor: a bare Qt Widgets window that bench/startup.py starts
# in turn with the program (it is no Google Benchmark: it prints its figures).
if(TARGET Qt6::Widgets)
  add_executable(bench_startup_peer ${CMAKE_CURRENT_LIST_DIR}/startup_peer.cpp)
  target_link_libraries(bench_startup_peer PRIVATE Qt6::Widgets)
  set_target_properties(bench_startup_peer PROPERTIES AUTOMOC OFF)
endif()
