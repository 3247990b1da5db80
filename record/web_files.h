// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The watch page beside a live HLS stream: "index.html" and the player library it loads,
// copied from kivo's own web folder so the stream folder can be served as it is.
#include <QString>

namespace record {

// Copies the page's files from `webDir` into `folder`. A file there that kivo did not
// write (its content is neither the source's nor what kivo last wrote, as the folder's
// ".kivo-web" list remembers) is left alone with one line on stderr; so is a missing
// source, and the stream runs without the page.
void copyWebFiles(const QString& webDir, const QString& folder);

}  // namespace record
