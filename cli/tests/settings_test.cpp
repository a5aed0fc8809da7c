// The settings store's read and write rules and the host's three kept settings.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/ini_file.h"
#include "host/settings.h"
#include "support/temp_dir.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

class Settings : public testing::Test {
 protected:
  std::string Ini(const std::string& text) {
    std::ofstream(dir / settings::kFileName) << text;
    return dir / settings::kFileName;
  }
  testing_support::TempDir dir;
};

TEST_F(Settings, ReadingFollowsTheLineRules) {
  CIniFile ini;
  ASSERT_EQ(ini.Load(Ini("top=level\n"
                         "[ERASE OPTION]\n"
                         "  VALUE=5  \r\n"
                         "just a word\n"
                         "=no key\n"
                         "[s]\n"
                         "k = v\n"
                         "dup=first\n"
                         "DUP=second\n"
                         "url=a=b\n")),
            1);
  EXPECT_EQ(ini.GetInt("Erase Option", "Value"), 5);  // letter case does not matter
  EXPECT_EQ(ini.GetString("", "top"), "level");
  EXPECT_EQ(ini.GetString("s", "k"), "");  // the blanks belong to key and value
  EXPECT_EQ(ini.GetString("s", "k "), " v");
  EXPECT_EQ(ini.GetString("s", "dup"), "second");
  EXPECT_EQ(ini.GetString("s", "url"), "a=b");
  EXPECT_EQ(ini.GetString("s", "just a word"), "");
  EXPECT_EQ(ini.GetInt("s", "url"), 0);  // not a number
}

TEST_F(Settings, ALineLongerThanAPieceIsReadAsSeveral) {
  CIniFile ini;
  ASSERT_EQ(ini.Load(Ini("[s]\nlong=" + std::string(1023 - 5, 'x') + "tail=end\n")), 1);
  EXPECT_EQ(ini.GetString("s", "long"), std::string(1023 - 5, 'x'));
  EXPECT_EQ(ini.GetString("s", "tail"), "end");
}

TEST_F(Settings, SavedFileHasTheWrittenLayoutAndKeepsForeignEntries) {
  std::ofstream(dir / "model.so") << "plug-in";
  std::ofstream(dir / "a.img") << "a";
  CIniFile ini;
  settings::Load(ini, dir.Path().string(), dir.Path().string());
  ini.Load(Ini("orphan=1\n[Zeta]\nk=v\n[ERASE OPTION]\nVALUE=5\n"));
  const settings::Kept kept{5, dir / "model.so"};
  ASSERT_EQ(settings::Save(ini, kept, {dir / "a.img", "", dir / "a.img"}), 1);
  // The entry without a section sorts first and has no header; the next header is still
  // set apart from it.
  std::string expected = "orphan=1\n\n\n[dll path save]\nValue=" + dir / "model.so" +
                         "\n\n\n[Erase Option]\nValue=5\n\n\n[File Lists]\n1=" + dir / "a.img" +
                         "\n";
  for (const char* key : {"10", "11", "12", "13", "14", "15", "16", "17", "18", "19"}) {
    expected += std::string(key) + "=\n";
  }
  expected += "2=\n20=\n3=" + dir / "a.img" + "\n4=\n5=\n6=\n7=\n8=\n9=\n\n\n[Zeta]\nk=v\n\n\n";
  EXPECT_EQ(Slurp(dir / settings::kFileName), expected);
}

TEST_F(Settings, AFirstStartGivesDefaultsAndKeepsItsSettings) {
  const std::string program = (dir.Path() / "program").string();
  std::filesystem::create_directories(program);
  CIniFile ini;
  const settings::Kept first = settings::Load(ini, dir.Path().string(), program);
  EXPECT_EQ(first.eraseOption, 0);
  EXPECT_EQ(first.dllPath, program + "/model.so");  // also when the plug-in is not there
  EXPECT_TRUE(settings::ListedFiles(ini).empty());
  ASSERT_EQ(settings::Save(ini, {4, first.dllPath}, {dir / "gone.img"}), 1);

  CIniFile next;
  EXPECT_EQ(settings::Load(next, dir.Path().string(), program).eraseOption, 4);
  EXPECT_TRUE(settings::ListedFiles(next).empty());  // a listed file that is gone is dropped
}

TEST_F(Settings, AStoreWithoutAPathOrAnUnwritablePlaceFails) {
  CIniFile none;
  EXPECT_EQ(none.Write(), 0);
  EXPECT_EQ(none.Error(), "파일명이 누락되었습니다.");
  CIniFile bad;
  EXPECT_EQ(bad.Load("/no/such/dir/Tarvex.ini"), 0);
  EXPECT_EQ(bad.Error(), "파일(/no/such/dir/Tarvex.ini)을 열 수 없습니다.");
  EXPECT_EQ(bad.Write(), 0);
}

// A write that stops half-way (a full disk; here the process's file size limit) fails and
// leaves the file that was there whole.
TEST_F(Settings, AWriteThatStopsHalfWayFailsAndLeavesTheFormerFileWhole) {
  const std::string former = "[s]\nk=v\n";
  CIniFile ini;
  ASSERT_EQ(ini.Load(Ini(former)), 1);
  ini.SetString("s", "long", std::string(10000, 'x'));
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int written = ini.Write();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(Slurp(dir / settings::kFileName), former);
}

TEST_F(Settings, APortableProgramKeepsItsSettingsBesideItAnInstalledOneInTheUsersConfig) {
  const std::string config = (dir.Path() / "config").string();
  EXPECT_EQ(settings::Directory(dir.Path().string(), config), dir.Path().string());
  EXPECT_EQ(settings::Directory("/usr/lib/tarvex", config), config + "/tarvex");
  EXPECT_TRUE(std::filesystem::is_directory(config + "/tarvex"));
  EXPECT_EQ(settings::Directory("/no/such/program/dir", config), config + "/tarvex");
}

}  // namespace
