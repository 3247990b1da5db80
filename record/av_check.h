// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// FFmpeg's error codes as the recorder reports them: one line naming the step.
extern "C" {
#include <libavutil/error.h>
}

#include <string>

#include "record/encoder.h"

namespace record {

inline std::string averror(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// Throws EncoderError "what: reason" for a negative code.
inline void check(int code, const char* what) {
  if (code < 0) throw EncoderError(std::string(what) + ": " + averror(code));
}

}  // namespace record
