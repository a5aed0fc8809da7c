#pragma once

#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

// The settings store: a section-and-key text file read whole into memory and written back whole.
//
// Only a regular file is read (a FIFO or a device would block or never end), a line is read whole
// up to kLongestLine bytes and a longer one is skipped whole, and an entry whose text holds a line
// break is never written: one value can never become several entries.
//
// Sections and keys match without regard to the letter case of A to Z; an entry keeps the case
// it was last given, and that is how it is written. Entries are written sorted by lower-cased
// section, then key, byte by byte (so keys "1" to "20" come out 1, 10, ..., 19, 2, 20, 3, ...).
class CIniFile {
 public:
  static constexpr size_t kLongestLine = size_t{64} * 1024;
  using Entries = std::vector<std::tuple<std::string, std::string, std::string>>;

  // Each returns 1 on success, 0 on failure (m_strError says why, Reason() the system's words).
  int Load(const std::string& path);  // m_strPath = path, then Read
  int Read();                         // adds the file's entries to those held
  // Where the next Write goes (a store read from one file may be kept in another).
  void WriteTo(const std::string& path) { m_strPath = path; }
  // The whole store, replacing the file; a symbolic link is written through to its target.
  int Write();

  // Adds the entries of a file's text to those held.
  void Parse(std::string_view text);
  // The file's text as Write writes it.
  std::string Text() const;
  // Every entry held (section and key as last given, value), in written order.
  Entries AllEntries() const;

  std::string GetString(const std::string& section, const std::string& key) const;
  int GetInt(const std::string& section, const std::string& key) const;  // atol; 0 for none
  void SetString(const std::string& section, const std::string& key, const std::string& value);
  void SetInt(const std::string& section, const std::string& key, int n);

  const std::string& Path() const { return m_strPath; }
  const std::string& Error() const { return m_strError; }
  // Why the last Read or Write failed, in the system's words ("Permission denied"); "" if it did
  // not.
  const std::string& Reason() const { return m_strReason; }

 private:
  struct Entry {
    std::string section;  // as last given
    std::string key;
    std::string value;
  };
  using Key = std::pair<std::string, std::string>;  // lower-cased section and key

  static Key KeyOf(const std::string& section, const std::string& key);
  void ReadLine(std::string_view line, std::string& section);
  int Fail(const std::string& reason);

  std::string m_strPath;
  std::string m_strError;
  std::string m_strReason;
  std::map<Key, Entry> m_entries;  // std::string orders bytes as unsigned, as written
};
