# SPDX-License-Identifier: GPL-3.0-or-later
# catalogue_scan_ms: building the programme list from 100 large scenario files.
add_executable(bench_selection ${CMAKE_CURRENT_LIST_DIR}/bench_selection.cpp)
target_link_libraries(bench_selection PRIVATE selection Qt6::Widgets)
