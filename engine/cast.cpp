// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/cast.h"

#include "engine/reader.h"
#include "platform/runtime_error.h"

namespace engine {

using platform::RuntimeError;

namespace {

constexpr const char* kEntryForm = "a cast entry is written speaker=rest picture,talk picture";

RuntimeError hinted(int number, const char* hint) {
  return RuntimeError(number).at({{}, 0, {}, QString::fromUtf8(hint)});
}

}  // namespace

void CastTable::load(SectionReader& reader, const QString& path) {
  reader.openSection(path, QStringLiteral("[pictureinit]"));
  count_ = 0;
  std::optional<QString> line = reader.firstBodyLine();
  while (line) {
    try {
      if (count_ >= kRows) throw hinted(platform::err::SubscriptOutOfRange, "a cast has at most 41 entries");
      // Nothing is trimmed: spaces around "=" and "," belong to the names.
      const qsizetype eq = line->indexOf(u'=');
      if (eq < 0) throw hinted(platform::err::InvalidArgument, kEntryForm);
      const QString rest = line->mid(eq + 1);
      const qsizetype comma = rest.indexOf(u',');
      if (comma < 0) throw hinted(platform::err::InvalidArgument, kEntryForm);
      rows_[count_] = Row{line->left(eq), {rest.left(comma), rest.mid(comma + 1)}};
    } catch (RuntimeError& e) {
      e.at(reader.place());
      throw;
    }
    ++count_;
    line = reader.nextBodyLine();
  }
  reader.closeAll();
}

CastTable::Pictures CastTable::lookup(const QString& speaker) const {
  Pictures found;
  for (int i = 0; i < count_; ++i) {
    if (rows_[i].name == speaker) found = rows_[i].pictures;  // the last match wins
  }
  return found;
}

bool CastTable::contains(const QString& speaker) const {
  for (int i = 0; i < count_; ++i)
    if (rows_[i].name == speaker) return true;
  return false;
}

}  // namespace engine
