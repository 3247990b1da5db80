# SPDX-License-Identifier: GPL-3.0-or-later
# opening_hide_after_load_ms: how long after its load the opening window hides itself
# (4800 ms by design); opening_step_max_late_ms: the latest any acting step ran.
add_executable(bench_opening ${CMAKE_CURRENT_LIST_DIR}/bench_opening.cpp)
target_link_libraries(bench_opening PRIVATE opening Qt6::Widgets)
