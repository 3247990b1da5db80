// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The cast table: speaker name to rest (mouth closed) and talk (mouth open) pictures.
#include <QString>
#include <array>
#include <cstdint>

namespace engine {

class SectionReader;

class CastTable {
 public:
  static constexpr int kRows = 41;

  struct Pictures {
    QString rest;
    QString talk;
  };

  // Refills the table from "[pictureinit]" of the scenario file.
  void load(SectionReader& reader, const QString& path);
  // The last row whose name matches exactly; two empty pictures when none does.
  Pictures lookup(const QString& speaker) const;
  // Whether some row names the speaker (a row may give two empty pictures on purpose).
  bool contains(const QString& speaker) const;
  int count() const { return count_; }

 private:
  struct Row {
    QString name;
    Pictures pictures;
  };
  std::array<Row, kRows> rows_{};
  std::int16_t count_ = 0;
};

}  // namespace engine
