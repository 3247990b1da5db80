// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files.h"

#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "platform/text.h"

namespace platform {
namespace {

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + '/' + name;
}

// Win32 drops trailing dots and spaces from the last part of a name.
QString win32Trim(QString s) {
  while (!s.isEmpty() && (s.back() == u'.' || s.back() == u' ')) s.chop(1);
  return s;
}

std::optional<std::string> findEntry(const std::string& dir, const QString& component) {
  const QString wanted = win32Trim(component);
  if (wanted.isEmpty()) return std::nullopt;
  const std::string exact = wanted.toStdString();
  if (exists(join(dir, exact))) return exact;

  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
  if (!d) return std::nullopt;
  // Best match first: the name as written, then the name in another letter case. A
  // name that is valid UTF-8 may still be Shift-JIS (half-width katakana can form
  // valid UTF-8), so its CP932 reading is the last resort.
  std::vector<std::string> caseMatches;
  std::vector<std::string> ansiMatches;
  while (dirent* e = ::readdir(d.get())) {
    const std::string raw = e->d_name;
    if (raw == "." || raw == "..") continue;
    const QString name = win32Trim(decodeFileName(raw));
    if (name == wanted) return raw;
    if (QString::compare(name, wanted, Qt::CaseInsensitive) == 0) {
      caseMatches.push_back(raw);
      continue;
    }
    const QString ansi = win32Trim(decodeAnsi(QByteArrayView(raw.data(), qsizetype(raw.size()))));
    if (ansi != name && QString::compare(ansi, wanted, Qt::CaseInsensitive) == 0) ansiMatches.push_back(raw);
  }
  std::vector<std::string>& matches = caseMatches.empty() ? ansiMatches : caseMatches;
  if (matches.empty()) return std::nullopt;
  // Several entries differing only in case: pick one the same way every time.
  std::sort(matches.begin(), matches.end());
  return matches.front();
}

}  // namespace

QString currentDirectory() {
  std::string buf(4096, '\0');
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return QStringLiteral(".");
    buf.resize(buf.size() * 2);
  }
  buf.resize(std::char_traits<char>::length(buf.c_str()));
  return decodeFileName(buf);
}

QString decodeFileName(const std::string& nativeName) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(QByteArrayView(nativeName.data(), qsizetype(nativeName.size())));
  if (!utf8.hasError()) return text;
  return decodeAnsi(QByteArrayView(nativeName.data(), qsizetype(nativeName.size())));
}

std::optional<std::string> resolvePath(const QString& name) {
  if (name.isEmpty()) return std::nullopt;
  QString normal = name;
  normal.replace(u'\\', u'/');  // on decoded text: a CP932 trail byte may be 0x5C
  std::string path = normal.startsWith(u'/') ? std::string("/") : std::string();
  const QStringList parts = normal.split(u'/', Qt::SkipEmptyParts);
  if (parts.isEmpty()) return path.empty() ? std::nullopt : std::optional<std::string>(path);
  for (const QString& part : parts) {
    if (part == u".") continue;
    if (part == u"..") {
      path = join(path, "..");
      continue;
    }
    const std::optional<std::string> entry = findEntry(path, part);
    if (!entry) return std::nullopt;
    path = join(path, *entry);
  }
  return path;
}

bool isRegularFile(const std::string& nativePath) {
  struct stat st {};
  return ::stat(nativePath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isOrdinaryFile(const std::string& nativePath) {
  if (!isRegularFile(nativePath)) return false;
  const auto slash = nativePath.rfind('/');
  const std::string base = slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
  return base.empty() || base.front() != '.';
}

QString writeFileAside(const QString& path, const QByteArray& data) {
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit()) return {};
  return file.errorString();
}

std::optional<QByteArray> readFileBytes(const std::string& nativePath) {
  // Regular files only, checked on the open file: a FIFO would block the open and the
  // reads, a device such as /dev/zero would never end. O_NONBLOCK keeps the open of a
  // FIFO from waiting for a writer; regular files ignore it.
  const int fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  QByteArray data;
  data.reserve(st.st_size > 0 ? qsizetype(st.st_size) : 0);
  char buf[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buf, sizeof buf);
    if (got < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    data.append(buf, got);
  }
  ::close(fd);
  return data;
}

}  // namespace platform
