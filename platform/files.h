// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows-style file names on a POSIX file system. Programmes written on Windows name
// their files in any letter case and with "\" as separator; every name the program
// opens goes through resolvePath, which finds the file as Windows would.
#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

namespace platform {

// The current directory as the platform reports it (no trailing separator except at the root).
QString currentDirectory();

// Finds the existing file or folder a Windows-style name means: "\" and "/" both
// separate folders, letter case is ignored (an exact match wins), trailing dots and
// spaces of a name are dropped as Win32 does, relative names start at the current
// directory, and entries whose names are not UTF-8 are compared as CP932.
// Returns the native path (bytes as the file system holds them).
std::optional<std::string> resolvePath(const QString& name);

// A file that holds data: not a folder, a device or a pipe (reading one could block).
bool isRegularFile(const std::string& nativePath);

// What the catalogue scan lists: a regular file that is not hidden (dot-name).
bool isOrdinaryFile(const std::string& nativePath);

// Reads a whole regular file; nullopt when it cannot be opened or read, or is not a
// regular file (a folder, a FIFO, a device).
std::optional<QByteArray> readFileBytes(const std::string& nativePath);

// Writes `data` to a file beside `path` and renames it into place, so that `path` never
// holds half of it. Empty when done, else why not.
QString writeFileAside(const QString& path, const QByteArray& data);

// A file-system name (bytes) as text: UTF-8 when valid, CP932 otherwise.
QString decodeFileName(const std::string& nativeName);

}  // namespace platform
