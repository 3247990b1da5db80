// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: their bytes as Qt sees them, and a private current
// directory for the files they write.
#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace kivo_fuzz {

// A fresh temporary folder made the current directory for the life of the process.
class WorkFolder {
 public:
  WorkFolder() {
    char name[] = "/tmp/kivo-fuzz-XXXXXX";
    if (!::mkdtemp(name) || ::chdir(name) != 0) std::abort();
    path_ = name;
  }
  ~WorkFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
 private:
  std::string path_;
};

inline QByteArray bytes(const std::uint8_t* data, std::size_t size) {
  return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Writes `size` bytes to `name` in the current directory, replacing what was there.
inline void writeFile(const char* name, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
}

}  // namespace kivo_fuzz
