#pragma once

#include <map>
#include <string>
#include <utility>

// The settings store: a section-and-key text file read whole into memory and written back whole.
//
// Sections and keys match without regard to the letter case of A to Z; an entry keeps the case
// it was last given, and that is how it is written. Entries are written sorted by lower-cased
// section, then key, byte by byte (so keys "1" to "20" come out 1, 10, ..., 19, 2, 20, 3, ...).
class CIniFile {
 public:
  // Each returns 1 on success, 0 on failure (m_strError says why).
  int Load(const std::string& path);  // m_strPath = path, then Read
  int Read();                         // adds the file's entries to those held
  int Write();                        // the whole store, replacing the file

  std::string GetString(const std::string& section, const std::string& key) const;
  int GetInt(const std::string& section, const std::string& key) const;  // atol; 0 for none
  void SetString(const std::string& section, const std::string& key, const std::string& value);
  void SetInt(const std::string& section, const std::string& key, int n);

  const std::string& Path() const { return m_strPath; }
  const std::string& Error() const { return m_strError; }

 private:
  struct Entry {
    std::string section;  // as last given
    std::string key;
    std::string value;
  };
  using Key = std::pair<std::string, std::string>;  // lower-cased section and key

  static Key KeyOf(const std::string& section, const std::string& key);
  void ReadLine(const std::string& line, std::string& section);
  std::string Text() const;

  std::string m_strPath;
  std::string m_strError;
  std::map<Key, Entry> m_entries;  // std::string orders bytes as unsigned, as written
};
