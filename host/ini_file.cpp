#include "host/ini_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

constexpr char kNoFileName[] = "파일명이 누락되었습니다.";  // the file name is missing
constexpr size_t kLinePiece = 1023;  // a longer line is read as several lines

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Trimmed(const std::string& text) {
  const char* kBlank = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlank);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

std::string CannotOpen(const std::string& path) {
  return "파일(" + path + ")을 열 수 없습니다.";  // the file cannot be opened
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

CIniFile::Key CIniFile::KeyOf(const std::string& section, const std::string& key) {
  return {Lower(section), Lower(key)};
}

int CIniFile::Load(const std::string& path) {
  m_strPath = path;
  return Read();
}

int CIniFile::Read() {
  m_strError.clear();
  if (m_strPath.empty()) {
    m_strError = kNoFileName;
    return 0;
  }
  const File file(std::fopen(m_strPath.c_str(), "r"));
  if (!file) {
    m_strError = CannotOpen(m_strPath);
    return 0;
  }
  std::string section;
  char piece[kLinePiece + 1];
  while (std::fgets(piece, sizeof piece, file.get()) != nullptr) ReadLine(piece, section);
  return 1;
}

void CIniFile::ReadLine(const std::string& raw, std::string& section) {
  const std::string line = Trimmed(raw);
  if (line.empty()) return;
  if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
    section = line.substr(1, line.size() - 2);
    return;
  }
  const size_t eq = line.find('=');
  if (eq == std::string::npos || eq == 0) return;
  SetString(section, line.substr(0, eq), line.substr(eq + 1));
}

std::string CIniFile::Text() const {
  std::string text;
  std::string header;  // the last section header written
  bool first = true;
  for (const auto& [key, e] : m_entries) {
    if (!e.section.empty() && e.section != header) {
      if (!first) text += "\n\n";
      text += "[" + e.section + "]\n";
      header = e.section;
    }
    text += e.key + "=" + e.value + "\n";
    first = false;
  }
  if (!m_entries.empty()) text += "\n\n";
  return text;
}

// The new text goes to a file beside the old one and replaces it whole, so that a full disk or a
// crash mid-write never leaves the user with half a settings file.
int CIniFile::Write() {
  m_strError.clear();
  if (m_strPath.empty()) {
    m_strError = kNoFileName;
    return 0;
  }
  const std::string temp = m_strPath + ".new";
  const std::string text = Text();
  bool written = false;
  if (File file{std::fopen(temp.c_str(), "w")}) {
    written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
              std::fflush(file.get()) == 0;
  }
  std::error_code ec;
  if (written) std::filesystem::rename(temp, m_strPath, ec);
  if (!written || ec) {
    std::filesystem::remove(temp, ec);
    m_strError = CannotOpen(m_strPath);
    return 0;
  }
  return 1;
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
