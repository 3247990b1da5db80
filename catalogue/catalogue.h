// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programmes of a folder: the scenario files KIVO.001 to KIVO.100 in the current
// directory, in number order, with their titles. The list window shows them; the
// unattended modes play them. Nothing here touches a window or runs the event loop.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace platform {
class SequentialInput;
}

namespace catalogue {

struct Programme {
  QString file;   // "KIVO.007"
  QString title;  // as the list shows it
};

// Programme numbers run from 1 to kLastNumber; fileName(7) is "KIVO.007".
inline constexpr int kLastNumber = 100;
QString fileName(int number);

// "KIVO.001 to KIVO.100", for messages that say where programmes are looked for.
QString range();

// Whether `name` is spelt like a programme's file name (any letter case).
bool isProgrammeName(const QString& name);

// The number in a name that looks meant for a programme, whether or not the list shows
// it ("KIVO.1", "kivo.002.txt", ".KIVO.003", "KIVO.101"); nothing for other names.
std::optional<int> numberLike(const QString& name);

// The programmes' file names, in number order: ordinary files only (no folder, hidden
// file, device or pipe). Reads no file.
QStringList files();

// The programmes with their titles, in number order. `beforeEachNumber` runs before each
// of the numbers is looked at: the list window lets pending events through there, as it
// did on Windows, so a slow folder keeps the desktop responsive; other modes pass none.
QList<Programme> scan(const std::function<void()>& beforeEachNumber = {});

// The title of a scenario file: the second comma-delimited field from the top (so the
// first field of line 2 when line 1 holds one field only). A file that cannot be opened
// or yields no title gets its file name as title, so one broken file cannot keep the
// others from being listed. The slot is always left closed.
QString readTitle(platform::SequentialInput& input, const QString& file);

}  // namespace catalogue
