# SPDX-License-Identifier: GPL-3.0-or-later
# bench_sound: how long PLAY and a clip hold the calling thread, and the longest music callback.
add_executable(bench_sound ${CMAKE_CURRENT_LIST_DIR}/bench_sound.cpp)
target_link_libraries(bench_sound PRIVATE sound sound_sdl Qt6::Core)
target_compile_definitions(bench_sound PRIVATE KIVO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
