# SPDX-License-Identifier: GPL-3.0-or-later
# record_speed_x: seconds of programme recorded per second of wall time, for the demo's
# first programme at scale 2 (MP4).
if(NOT KIVO_RECORDER)
  return()
endif()
add_executable(bench_record ${CMAKE_CURRENT_LIST_DIR}/bench_record.cpp)
target_link_libraries(bench_record PRIVATE record Qt6::Widgets)
target_compile_definitions(bench_record PRIVATE KIVO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
