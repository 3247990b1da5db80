// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MCI command strings for the sequencer, parsed apart from any device: a pure function
// from text to a command or the result code that refuses it.
#include <QString>
#include <cstdint>
#include <variant>

namespace sound::winmm {

using MCIERROR = std::uint32_t;

namespace mci {

// Result codes.
constexpr MCIERROR kOk = 0;
constexpr MCIERROR kUnrecognizedKeyword = 259;
constexpr MCIERROR kUnrecognizedCommand = 261;
constexpr MCIERROR kHardware = 262;
constexpr MCIERROR kInvalidDeviceName = 263;
constexpr MCIERROR kMissingCommandString = 267;
constexpr MCIERROR kMissingStringArgument = 269;
constexpr MCIERROR kFileNotFound = 275;
constexpr MCIERROR kDuplicateAlias = 289;
constexpr MCIERROR kMissingDeviceName = 292;
constexpr MCIERROR kNoClosingQuote = 294;
constexpr MCIERROR kDuplicateFlags = 295;
constexpr MCIERROR kInvalidFile = 296;
constexpr MCIERROR kExtraCharacters = 305;
constexpr MCIERROR kNoMidiDevice = 343;

enum class Verb { Open, Play, Close };

struct Command {
  Verb verb = Verb::Open;
  QString device;         // open: the file name; play and close: the alias
  QString alias;          // open: the alias given, or the file name when none is
  bool closeAll = false;  // close: the unquoted word "all"
};

// Syntax only: whether the file exists or the alias is open is the sequencer's business.
std::variant<Command, MCIERROR> parseCommand(const QString& command);

}  // namespace mci
}  // namespace sound::winmm
