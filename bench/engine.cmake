# SPDX-License-Identifier: GPL-3.0-or-later
add_executable(bench_reader ${CMAKE_CURRENT_LIST_DIR}/bench_reader.cpp)
target_link_libraries(bench_reader PRIVATE engine platform)

add_executable(bench_engine ${CMAKE_CURRENT_LIST_DIR}/bench_engine.cpp ${PROJECT_SOURCE_DIR}/app/event_pump.h)
target_link_libraries(bench_engine PRIVATE engine stage sound platform_gui sound_sdl platform Qt6::Widgets)
target_include_directories(bench_engine PRIVATE ${PROJECT_SOURCE_DIR})
