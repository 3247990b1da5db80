# SPDX-License-Identifier: GPL-3.0-or-later
# check_folder_ms: kivo --check on a folder of 100 programmes of 100 KB with their pictures.
add_executable(bench_check ${CMAKE_CURRENT_LIST_DIR}/bench_check.cpp)
target_link_libraries(bench_check PRIVATE check Qt6::Gui)
