# The winmm stand-in: SDL2_mixer for the device and the clips, FluidSynth (linked
# directly, one synthesiser per process) for MIDI. The MCI command parser and the MIDI
# file reader need no device and live in the core library.
find_package(Threads REQUIRED)
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
add_library(platform_winmm STATIC
  ${CMAKE_CURRENT_LIST_DIR}/winmm.cpp ${CMAKE_CURRENT_LIST_DIR}/winmm.h
  ${CMAKE_CURRENT_LIST_DIR}/winmm_internal.h
  ${CMAKE_CURRENT_LIST_DIR}/winmm_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/winmm_sequencer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/winmm_clips.cpp
  ${CMAKE_CURRENT_LIST_DIR}/winmm_chime.cpp
  ${CMAKE_CURRENT_LIST_DIR}/synth_settings.h
  ${CMAKE_CURRENT_LIST_DIR}/wav_clip.cpp ${CMAKE_CURRENT_LIST_DIR}/wav_clip.h
)
target_link_libraries(platform_winmm
  PUBLIC platform
  PRIVATE PkgConfig::SDL2MIXER PkgConfig::FLUIDSYNTH Threads::Threads
)
