// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/mci_command.h"

#include <vector>

namespace sound::winmm::mci {
namespace {

struct Token {
  QString text;
  bool quoted = false;
};

bool isBlank(QChar ch) { return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n'; }

// Only the device name (the second word) may be quoted, and a quote can appear nowhere
// else: a file name holding a quote can then never add words of its own to a command.
MCIERROR tokenize(const QString& command, std::vector<Token>& tokens) {
  const qsizetype n = command.size();
  qsizetype i = 0;
  while (true) {
    while (i < n && isBlank(command[i])) ++i;
    if (i >= n) return kOk;
    if (command[i] == u'"') {
      const qsizetype close = command.indexOf(u'"', i + 1);
      if (close < 0) return kNoClosingQuote;
      if (close + 1 < n && !isBlank(command[close + 1])) return kExtraCharacters;
      if (tokens.size() != 1) return kExtraCharacters;
      tokens.push_back({command.mid(i + 1, close - i - 1), true});
      i = close + 1;
    } else {
      qsizetype end = i;
      while (end < n && !isBlank(command[end])) {
        if (command[end] == u'"') return kExtraCharacters;
        ++end;
      }
      tokens.push_back({command.mid(i, end - i), false});
      i = end;
    }
  }
}

bool sameWord(const QString& a, const char* b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

std::variant<Command, MCIERROR> parseOpen(const std::vector<Token>& tokens) {
  Command command{Verb::Open, tokens[1].text, tokens[1].text, false};
  bool haveType = false;
  bool haveAlias = false;
  for (size_t i = 2; i < tokens.size(); i += 2) {
    const QString& key = tokens[i].text;
    const bool isType = sameWord(key, "type");
    if (!isType && !sameWord(key, "alias")) return kUnrecognizedKeyword;
    if (i + 1 >= tokens.size()) return kMissingStringArgument;
    bool& seen = isType ? haveType : haveAlias;
    if (seen) return kDuplicateFlags;
    seen = true;
    // The sequencer is the only device here; without a type it is assumed.
    if (isType && !sameWord(tokens[i + 1].text, "sequencer")) return kInvalidDeviceName;
    if (!isType) command.alias = tokens[i + 1].text;
  }
  return command;
}

}  // namespace

std::variant<Command, MCIERROR> parseCommand(const QString& text) {
  std::vector<Token> tokens;
  if (const MCIERROR bad = tokenize(text, tokens); bad != kOk) return bad;
  if (tokens.empty()) return kMissingCommandString;
  const QString& verb = tokens[0].text;
  const bool known = sameWord(verb, "open") || sameWord(verb, "play") || sameWord(verb, "close");
  if (!known) return kUnrecognizedCommand;
  if (tokens.size() < 2 || tokens[1].text.isEmpty()) return kMissingDeviceName;
  if (sameWord(verb, "open")) return parseOpen(tokens);
  if (tokens.size() > 2) return kUnrecognizedKeyword;
  const bool all = sameWord(verb, "close") && !tokens[1].quoted && sameWord(tokens[1].text, "all");
  return Command{sameWord(verb, "play") ? Verb::Play : Verb::Close, tokens[1].text, QString(), all};
}

}  // namespace sound::winmm::mci
