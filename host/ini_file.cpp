#include "host/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "corvane/platform/file_status.h"
#include "corvane/platform/path.h"

namespace {
namespace fs = std::filesystem;

constexpr char kNoFileName[] = "파일명이 누락되었습니다.";  // the file name is missing
constexpr char kNotRegular[] = "not a regular file";

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string_view Trimmed(std::string_view text) {
  const char* kBlank = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

// The system's words for the last failure; std::strerror may share its buffer between threads.
std::string LastReason() { return std::error_code(errno, std::generic_category()).message(); }

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

std::string CannotOpen(const std::string& path) {
  return "파일(" + path + ")을 열 수 없습니다.";  // the file cannot be opened
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Cuts a stream of text into lines, at LF and at CR alike (a lone CR ends a line for other
// readers too); a line longer than the longest kept is skipped whole, so its pieces never pass
// for entries of their own.
class LineCutter {
 public:
  template <typename OnLine>
  void Feed(std::string_view text, OnLine&& onLine) {
    while (!text.empty()) {
      const size_t end = text.find_first_of("\r\n");
      Take(text.substr(0, end));
      if (end == std::string_view::npos) return;
      Finish(onLine);
      text.remove_prefix(end + 1);
    }
  }
  template <typename OnLine>
  void Finish(OnLine&& onLine) {
    if (!tooLong_) onLine(std::string_view(line_));
    line_.clear();
    tooLong_ = false;
  }

 private:
  void Take(std::string_view piece) {
    if (tooLong_) return;
    line_.append(piece);
    if (line_.size() <= CIniFile::kLongestLine) return;
    tooLong_ = true;
    line_.clear();
  }
  std::string line_;
  bool tooLong_ = false;
};

// A symbolic link is written through: the new file goes beside its target and replaces that.
std::string WriteTarget(const std::string& path) {
  std::error_code ec;
  const fs::path link = platform::PathOf(path);
  if (!fs::is_symlink(fs::symlink_status(link, ec))) return path;
  const fs::path target = fs::weakly_canonical(link, ec);
  return ec ? path : platform::Utf8Of(target);
}

}  // namespace

CIniFile::Key CIniFile::KeyOf(const std::string& section, const std::string& key) {
  return {Lower(section), Lower(key)};
}

int CIniFile::Fail(const std::string& reason) {
  m_strError = CannotOpen(m_strPath);
  m_strReason = reason;
  return 0;
}

int CIniFile::Load(const std::string& path) {
  m_strPath = path;
  return Read();
}

// Anything but a regular file is refused before it is opened: a FIFO would block the program's
// start for good and a device such as /dev/zero would never end.
int CIniFile::Read() {
  m_strError.clear();
  m_strReason.clear();
  if (m_strPath.empty()) {
    m_strError = kNoFileName;
    return 0;
  }
  std::error_code ec;
  const fs::file_status status = fs::status(platform::PathOf(m_strPath), ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) return Fail(kNotRegular);
  const File file(std::fopen(m_strPath.c_str(), "r"));
  if (!file) return Fail(LastReason());
  std::string section;
  LineCutter lines;
  const auto onLine = [&](std::string_view line) { ReadLine(line, section); };
  char chunk[16 * 1024];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    lines.Feed({chunk, n}, onLine);
  }
  lines.Finish(onLine);
  if (std::ferror(file.get()) != 0) return Fail(LastReason());
  return 1;
}

void CIniFile::Parse(std::string_view text) {
  std::string section;
  LineCutter lines;
  const auto onLine = [&](std::string_view line) { ReadLine(line, section); };
  lines.Feed(text, onLine);
  lines.Finish(onLine);
}

void CIniFile::ReadLine(std::string_view raw, std::string& section) {
  const std::string_view line = Trimmed(raw);
  if (line.empty()) return;
  if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
    section = std::string(line.substr(1, line.size() - 2));
    return;
  }
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos || eq == 0) return;
  SetString(section, std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
}

// An entry with a line break in it is left out: written, it would be read back as other entries.
std::string CIniFile::Text() const {
  std::string text;
  std::string header;  // the last section header written
  bool first = true;
  for (const auto& [key, e] : m_entries) {
    if (HasLineBreak(e.section) || HasLineBreak(e.key) || HasLineBreak(e.value)) continue;
    if (!e.section.empty() && e.section != header) {
      if (!first) text += "\n\n";
      text += "[" + e.section + "]\n";
      header = e.section;
    }
    text += e.key + "=" + e.value + "\n";
    first = false;
  }
  if (!first) text += "\n\n";
  return text;
}

CIniFile::Entries CIniFile::AllEntries() const {
  Entries entries;
  for (const auto& [key, e] : m_entries) entries.emplace_back(e.section, e.key, e.value);
  return entries;
}

// The new text goes to a file beside the old one and replaces it whole, so that a full disk or a
// crash mid-write never leaves the user with half a settings file. A file this user may not
// write is left as it is, although the rename would replace it: its owner made it read-only.
int CIniFile::Write() {
  m_strError.clear();
  m_strReason.clear();
  if (m_strPath.empty()) {
    m_strError = kNoFileName;
    return 0;
  }
  const std::string target = WriteTarget(m_strPath);
  if (std::string why; !platform::MayWrite(target, why)) return Fail(why);
  const std::string temp = target + ".new";
  const std::string text = Text();
  std::string why;
  if (File file{std::fopen(temp.c_str(), "w")}) {
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0) {
      why = LastReason();
    }
  } else {
    why = LastReason();
  }
  std::error_code ec;
  const fs::path tempPath = platform::PathOf(temp);
  if (why.empty()) fs::rename(tempPath, platform::PathOf(target), ec);
  if (why.empty() && ec) why = ec.message();
  if (why.empty()) return 1;
  if (!fs::is_directory(tempPath)) fs::remove(tempPath, ec);
  return Fail(why);
}

std::string CIniFile::GetString(const std::string& section, const std::string& key) const {
  const auto it = m_entries.find(KeyOf(section, key));
  return it == m_entries.end() ? std::string() : it->second.value;
}

int CIniFile::GetInt(const std::string& section, const std::string& key) const {
  return static_cast<int>(std::strtol(GetString(section, key).c_str(), nullptr, 10));
}

void CIniFile::SetString(const std::string& section, const std::string& key,
                         const std::string& value) {
  m_entries[KeyOf(section, key)] = Entry{section, key, value};
}

void CIniFile::SetInt(const std::string& section, const std::string& key, int n) {
  SetString(section, key, std::to_string(n));
}
