// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the music is synthesised, shared by the live back-end (winmm_sequencer.cpp) and
// the offline rendering of a recording, so that both sound the same.
#include <fluidsynth.h>

namespace sound::winmm {

// The player's FluidSynth settings, for a synthesiser running at `rate` Hz.
inline void applySynthSettings(fluid_settings_t* settings, double rate) {
  fluid_settings_setnum(settings, "synth.sample-rate", rate);
  fluid_settings_setnum(settings, "synth.gain", 0.6);
  fluid_settings_setint(settings, "synth.lock-memory", 0);
  // Only the instruments a tune uses are held in memory: about 120 MB less with FluidR3.
  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
}

}  // namespace sound::winmm
