// The settings store's read and write rules and the host's three kept settings.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

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

// A line is read whole up to 64 KiB; a longer one is dropped whole, never read as entries.
TEST_F(Settings, ALongLineIsReadWholeAndATooLongOneIsSkippedWhole) {
  const std::string path(1100, 'p');
  const std::string tooLong(CIniFile::kLongestLine, 'x');
  CIniFile ini;
  ASSERT_EQ(ini.Load(Ini("[s]\nlong=" + path + "\nhuge=" + tooLong + "tail=end\nnext=1\n")), 1);
  EXPECT_EQ(ini.GetString("s", "long"), path);
  EXPECT_EQ(ini.GetString("s", "huge"), "");
  EXPECT_EQ(ini.GetString("s", "tail"), "");
  EXPECT_EQ(ini.GetString("s", "next"), "1");
}

// A value with a line break, however it got into the store, is not written: read back it would
// become entries of the attacker's choosing.
TEST_F(Settings, AValueWithALineBreakIsNeverWrittenAndNeverAccepted) {
  CIniFile ini;
  ini.WriteTo(dir / settings::kFileName);
  const std::string evil =
      "/tmp/a.img\n[Erase Option]\nValue=1\n[dll path save]\nValue=/tmp/evil.so";
  ASSERT_EQ(settings::Save(ini, {0, "/opt/model.so", ""}, {evil}), "");
  CIniFile next;
  ASSERT_EQ(next.Load(dir / settings::kFileName), 1);
  EXPECT_EQ(next.GetString("File Lists", "1"), "");
  EXPECT_EQ(next.GetString("Erase Option", "Value"), "0");
  EXPECT_EQ(next.GetString("dll path save", "Value"), "/opt/model.so");
  EXPECT_EQ(settings::Unkeepable("/tmp/a\rb\nc"),
            "/tmp/a\\rb\\nc: a file name with a line break cannot be kept in the settings");
  EXPECT_EQ(settings::Unkeepable("/tmp/a b.img"), "");
}

TEST_F(Settings, TheEraseOptionIsADecimalFromZeroToSevenOrZero) {
  EXPECT_EQ(settings::EraseOptionOf("7"), 7);
  EXPECT_EQ(settings::EraseOptionOf("0"), 0);
  for (const char* bad : {"8", "-1", "5x", "", " 5", "0x5", "99999999999"}) {
    EXPECT_EQ(settings::EraseOptionOf(bad), 0) << bad;
  }
}

TEST_F(Settings, SavedFileHasTheWrittenLayoutAndKeepsForeignEntries) {
  std::ofstream(dir / "model.so") << "plug-in";
  std::ofstream(dir / "a.img") << "a";
  CIniFile ini;
  ini.Load(Ini("orphan=1\n[Zeta]\nk=v\n[ERASE OPTION]\nVALUE=5\n"));
  const settings::Kept kept{5, dir / "model.so", ""};
  ASSERT_EQ(settings::Save(ini, kept, {dir / "a.img", "", dir / "a.img"}), "");
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

// Relative entries name files beside the program, never in the directory it was started from.
TEST_F(Settings, AFirstStartGivesDefaultsAndRelativeEntriesAreTheProgramsOwn) {
  const std::string program = dir / "program";
  std::filesystem::create_directories(program + "/plugins");
  std::ofstream(program + "/plugins/other.so") << "plug-in";
  CIniFile ini;
  const std::string here = dir.Path().string();
  const settings::Kept first = settings::Load(ini, here, here, program);
  EXPECT_EQ(first.eraseOption, 0);
  EXPECT_EQ(first.dllPath, program + "/model.so");  // also when the plug-in is not there
  EXPECT_TRUE(settings::ListedFiles(ini, program).empty());
  ASSERT_EQ(settings::Save(ini, {4, "plugins/other.so", ""}, {"gone.img", "/abs/b.img"}), "");

  CIniFile next;
  const settings::Kept kept = settings::Load(next, here, here, program);
  EXPECT_EQ(kept.eraseOption, 4);
  EXPECT_EQ(kept.dllPath, program + "/plugins/other.so");
  // A listed file that is gone stays listed: the page keeps it for when it is back.
  EXPECT_EQ(settings::ListedFiles(next, program),
            (std::vector<std::string>{program + "/gone.img", "/abs/b.img"}));
}

TEST_F(Settings, OnlyARegularFileIsReadAndAFailedSaveSaysWhereAndWhy) {
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directories(dir / "fifo-dir");
  std::filesystem::create_symlink(fifo, dir / "fifo-dir/Tarvex.ini");
  CIniFile ini;
  const settings::Kept kept = settings::Load(ini, dir / "fifo-dir", dir.Path().string(), "/p");
  EXPECT_EQ(kept.problem, dir / "fifo-dir/Tarvex.ini" + ": not a regular file");
  // A directory in the way of the new file: refused whatever this user's rights.
  std::filesystem::create_directories(dir / "Tarvex.ini.new");
  EXPECT_EQ(settings::Save(ini, kept, {}),
            "The settings could not be saved to " + dir / "Tarvex.ini" + ": Is a directory");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Tarvex.ini.new"));
}

TEST_F(Settings, ALinkedSettingsFileIsWrittenThroughToItsTarget) {
  std::filesystem::create_directories(dir / "real");
  std::ofstream(dir / "real/Tarvex.ini") << "[Erase Option]\nValue=1\n";
  std::filesystem::create_symlink(dir / "real/Tarvex.ini", dir / "Tarvex.ini");
  CIniFile ini;
  const std::string here = dir.Path().string();
  settings::Kept kept = settings::Load(ini, here, here, here);
  kept.eraseOption = 4;
  ASSERT_EQ(settings::Save(ini, kept, {}), "");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "Tarvex.ini"));
  EXPECT_NE(Slurp(dir / "real/Tarvex.ini").find("Value=4"), std::string::npos);
}

TEST_F(Settings, AStoreWithoutAPathOrAnUnwritablePlaceFails) {
  CIniFile none;
  EXPECT_EQ(none.Write(), 0);
  EXPECT_EQ(none.Error(), "파일명이 누락되었습니다.");
  CIniFile bad;
  EXPECT_EQ(bad.Load("/no/such/dir/Tarvex.ini"), 0);
  EXPECT_EQ(bad.Error(), "파일(/no/such/dir/Tarvex.ini)을 열 수 없습니다.");
  EXPECT_EQ(bad.Write(), 0);
  EXPECT_EQ(bad.Reason(), "No such file or directory");
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

// A settings file beside the program that this user cannot change is still read, once, and
// the changes go to the user's own file, which is read from then on.
TEST_F(Settings, AnUnwritableProgramSettingsFileIsReadAndChangesGoToTheUsersConfig) {
  const std::string program = dir / "program";
  const std::string config = dir / "config";
  std::filesystem::create_directories(program);
  std::ofstream(program + "/Tarvex.ini") << "[Erase Option]\nValue=4\n";
  const auto unwritableFile = [&](const std::string& path) {
    return path != program + "/Tarvex.ini";
  };
  const settings::Location first = settings::Locate(program, config, unwritableFile);
  EXPECT_EQ(first.readDirectory, program);
  EXPECT_EQ(first.directory, config + "/tarvex");
  EXPECT_EQ(first.notice, program +
                              "/Tarvex.ini cannot be written: changes to the settings will "
                              "be saved to " +
                              config + "/tarvex/Tarvex.ini");
  CIniFile ini;
  const settings::Kept kept = settings::Load(ini, first.readDirectory, first.directory, program);
  EXPECT_EQ(kept.eraseOption, 4);
  ASSERT_EQ(settings::Save(ini, kept, {}), "");

  const settings::Location next = settings::Locate(program, config, unwritableFile);
  EXPECT_EQ(next.readDirectory, config + "/tarvex");
  EXPECT_EQ(next.notice, "");
}

}  // namespace
