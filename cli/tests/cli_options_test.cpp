// The command line: what each command accepts, and a clear reason for everything it refuses.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"

namespace {

using cli::Command;
using cli::ParseArguments;

cli::Options Good(const std::vector<std::string>& args) {
  const cli::Parsed p = ParseArguments(args);
  EXPECT_EQ(p.error, "");
  return p.options;
}

std::string Error(const std::vector<std::string>& args) { return ParseArguments(args).error; }

TEST(CliOptions, DownloadTakesFilesAndOptionsInAnyOrder) {
  const cli::Options o = Good({"--json", "download", "a.img", "--erase", "ap,userdata", "--port=3",
                               "b.cfg", "--erase=cp", "--", "--odd-name.img"});
  EXPECT_EQ(o.command, Command::kDownload);
  EXPECT_TRUE(o.json);
  EXPECT_EQ(o.port, "3");
  EXPECT_EQ(o.erase, kEraseAp | kEraseUserData | kEraseCp);
  EXPECT_EQ(o.files, (std::vector<std::string>{"a.img", "b.cfg", "--odd-name.img"}));
  EXPECT_EQ(o.waitSeconds, 60.0);
}

TEST(CliOptions, EraseWordsAreChecked) {
  EXPECT_EQ(Error({"download", "--erase", "ap,system", "a.img"}),
            "unknown erase word 'system' (known: ap, cp, userdata)");
  EXPECT_EQ(Error({"download", "--erase", "", "a.img"}),
            "unknown erase word '' (known: ap, cp, userdata)");
  EXPECT_EQ(Error({"factory", "--erase", "ap", "c.fls", "a.bin"}),
            "factory erases only 'cp' (the modem's flash)");
  EXPECT_EQ(Good({"factory", "--erase", "cp", "c.fls", "a.bin"}).erase, kEraseCp);
  EXPECT_EQ(Error({"mdm", "--erase", "cp", "ap.img"}), "mdm takes no --erase");
}

TEST(CliOptions, EachCommandWantsItsFiles) {
  EXPECT_EQ(Error({"download"}), "download needs the image files to write");
  EXPECT_EQ(Error({"factory", "one.fls"}), "factory needs two files: CP_FILE AP_FILE");
  EXPECT_EQ(Error({"mdm"}), "mdm needs one file: the application processor's image (AP_FILE)");
  EXPECT_EQ(Error({"ports", "x"}), "ports takes no files");
  EXPECT_EQ(Good({"mdm", "--mdm", "modem.mbn", "ap.img"}).mdmFile, "modem.mbn");
  // --simulate without files writes a sample set.
  EXPECT_EQ(Good({"download", "--simulate"}).simulate, 1);
  EXPECT_EQ(Good({"factory", "--simulate"}).files.size(), 0u);
}

TEST(CliOptions, UploadNeedsItsThreeValues) {
  EXPECT_EQ(Error({"upload", "--out", "x.bin", "--sectors", "8"}),
            "upload needs --out FILE, --sectors N and --address A");
  const cli::Options o =
      Good({"upload", "--out", "x.bin", "--sectors", "200", "--address", "0x00A00000"});
  EXPECT_EQ(*o.sectors, 200u);
  EXPECT_EQ(*o.address, 0xA00000u);
  EXPECT_EQ(*Good({"upload", "--out", "x", "--sectors", "1", "--address", "4096"}).address, 4096u);
  EXPECT_EQ(Error({"upload", "--out", "x", "--sectors", "0", "--address", "4096"}),
            "--sectors 0 reads nothing: give at least one sector");
  EXPECT_NE(Error({"upload", "--out", "x", "--sectors", "-1", "--address", "0"}), "");
  EXPECT_NE(Error({"upload", "--out", "x", "--sectors", "8", "--address", "0x1FFFFFFFF"}), "");
  EXPECT_NE(Error({"upload", "--out", "x", "--sectors", "8k", "--address", "0"}), "");
  EXPECT_EQ(Error({"download", "--out", "x", "a.img"}),
            "--out, --sectors and --address belong to upload");
}

TEST(CliOptions, SimulateTakesACountOnlyWhenOneFollows) {
  EXPECT_EQ(Good({"multi", "download", "--simulate", "3"}).simulate, 3);
  EXPECT_EQ(Good({"multi", "download", "--simulate=8"}).simulate, 8);
  const cli::Options o = Good({"download", "--simulate", "boot.img"});
  EXPECT_EQ(o.simulate, 1);
  EXPECT_EQ(o.files, std::vector<std::string>{"boot.img"});
  EXPECT_EQ(Error({"multi", "download", "--simulate", "0"}),
            "--simulate takes a number of phones from 1 to 64");
  EXPECT_EQ(Error({"multi", "download", "--simulate=65"}),
            "--simulate takes a number of phones from 1 to 64");
  EXPECT_EQ(Error({"download", "--simulate", "2"}),
            "one phone takes one simulated phone; use multi for --simulate 2");
}

TEST(CliOptions, MultiRunsDownloadOrFactoryOnEveryPort) {
  const cli::Options o = Good({"multi", "factory", "--count", "5", "c.fls", "a.bin"});
  EXPECT_TRUE(o.multi);
  EXPECT_EQ(o.command, Command::kFactory);
  EXPECT_EQ(o.count, 5);
  EXPECT_EQ(Error({"multi"}), "multi needs a command: 'download' or 'factory'");
  EXPECT_EQ(Error({"multi", "upload"}), "multi runs 'download' or 'factory', not 'upload'");
  EXPECT_EQ(Error({"multi", "flash"}), "multi runs 'download' or 'factory', not 'flash'");
  EXPECT_EQ(Error({"multi", "download", "--port", "3", "a.img"}),
            "multi runs on every phone port found; --port is for one phone");
  EXPECT_EQ(Error({"download", "--count", "2", "a.img"}), "--count belongs to multi");
  EXPECT_NE(Error({"multi", "download", "--count", "0", "a.img"}), "");
  EXPECT_EQ(Error({"download", "--max", "2", "a.img"}), "--max belongs to multi");
  EXPECT_EQ(Error({"multi", "download", "--max", "17", "a.img"}),
            "--max takes a number of phones at once from 1 to 16");
  EXPECT_EQ(Good({"multi", "download", "--max", "16", "a.img"}).maxAtOnce, 16);
}

TEST(CliOptions, WaitIsSecondsOrForever) {
  EXPECT_EQ(Good({"download", "--wait", "2.5", "a.img"}).waitSeconds, 2.5);
  EXPECT_FALSE(Good({"download", "--wait", "forever", "a.img"}).waitSeconds.has_value());
  EXPECT_EQ(Good({"download", "--wait", "0", "a.img"}).waitSeconds, 0.0);
  EXPECT_NE(Error({"download", "--wait", "-1", "a.img"}), "");
  EXPECT_NE(Error({"download", "--wait", "soon", "a.img"}), "");
  EXPECT_NE(Error({"download", "--wait", "nan", "a.img"}), "");
}

TEST(CliOptions, UnknownWordsAndMissingValuesAreNamed) {
  EXPECT_EQ(Error({}), "no command given");
  EXPECT_EQ(Error({"flash", "a.img"}), "unknown command 'flash'");
  EXPECT_EQ(Error({"download", "--verbose", "a.img"}), "unknown option '--verbose'");
  EXPECT_EQ(Error({"download", "a.img", "--port"}), "--port needs a value");
  EXPECT_EQ(Error({"download", "--plugin=", "a.img"}), "--plugin needs a path");
  EXPECT_EQ(Error({"download", "--mdm", "m", "a.img"}), "--mdm belongs to mdm");
}

TEST(CliOptions, HelpNeedsNothingElse) {
  EXPECT_TRUE(Good({"--help"}).help);
  const cli::Options o = Good({"upload", "-h"});
  EXPECT_TRUE(o.help);
  EXPECT_EQ(o.command, Command::kUpload);
  EXPECT_NE(cli::UsageText(Command::kUpload, false).find("--sectors N"), std::string::npos);
  EXPECT_NE(cli::UsageText(Command::kDownload, true).find("multi download"), std::string::npos);
  EXPECT_NE(cli::UsageText(Command::kNone, false).find("Exit status"), std::string::npos);
}

}  // namespace
