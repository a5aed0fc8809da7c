// tarvex-cli run in this process against simulated TQ4410 phones on pseudo-terminals: normal and
// factory downloads end to end, what the user sees, and every way a command is refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "support/time_scale.h"

namespace {

using cli_testing::Cli;
using cli_testing::CliFixture;
using cli_testing::CliRun;
using phonesim::SimulatedTq4410;

class CliDownload : public CliFixture {};

TEST_F(CliDownload, WritesEveryImageIntoThePhoneByteForByte) {
  SimulatedTq4410 phone;
  std::vector<std::string> args = WithFiles({"download", "--port", Port(phone)});
  args.push_back(firmware.PathOf("boot.img"));  // listed twice: taken once
  const CliRun run = Cli(args);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const phonesim::Verification v = phone.VerifyNormalDownload(firmware);
  EXPECT_TRUE(v.ok) << v.Verdict();
  EXPECT_EQ(phone.Resets(), 1);
  const auto texts = cli_testing::StatusTexts(run.out);
  ASSERT_FALSE(texts.empty()) << run.out;
  EXPECT_EQ(texts.front(), "Download Start...");
  EXPECT_EQ(texts.back(), "Download complete");
  EXPECT_NE(std::find(texts.begin(), texts.end(), "system.img  writing start"), texts.end());
  EXPECT_TRUE(run.OutHas("boot.img is listed already: taken once"));
  EXPECT_TRUE(run.OutHas("==  download lists  ==  Files to Download(5/5)"));
  EXPECT_TRUE(run.OutHas("[Download complete!]"));
  EXPECT_TRUE(run.OutHas("The phone succeeded."));
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);  // not a terminal: no redraws
}

TEST_F(CliDownload, TheFirstPhoneFoundOrOneNamedByItsPath) {
  SimulatedTq4410 first;
  const CliRun found = Cli(WithFiles({"download"}));
  ASSERT_EQ(found.status, 0) << found.err;
  EXPECT_TRUE(found.OutHas("Phone on pts")) << found.out;
  EXPECT_TRUE(first.VerifyNormalDownload(firmware).ok);

  SimulatedTq4410 second;
  const CliRun byPath = Cli(WithFiles({"download", "--port", second.Path()}));
  ASSERT_EQ(byPath.status, 0) << byPath.err;
  EXPECT_TRUE(second.VerifyNormalDownload(firmware).ok);
}

TEST_F(CliDownload, EraseWordsBecomeTheOptionBits) {
  SimulatedTq4410 phone;
  const CliRun run = Cli(WithFiles({"download", "--erase", "ap,userdata", "--port", Port(phone)}));
  ASSERT_EQ(run.status, 0) << run.out;
  const auto texts = cli_testing::StatusTexts(run.out);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Start total erase"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "End user erase"), texts.end());
  EXPECT_TRUE(run.OutHas("Erase: [Erase entire AP] [Erase User Data(AP)] "));
  EXPECT_TRUE(phone.VerifyNormalDownload(firmware).ok);
}

TEST_F(CliDownload, JsonLinesCarryEveryLineThePluginSent) {
  SimulatedTq4410 plainPhone;
  const CliRun plain = Cli(WithFiles({"download", "--port", Port(plainPhone)}));
  SimulatedTq4410 jsonPhone;
  const CliRun json = Cli(WithFiles({"download", "--json", "--port", Port(jsonPhone)}));
  ASSERT_EQ(json.status, 0) << json.out;
  const auto events = json.Json();
  std::vector<std::string> texts;
  for (const auto& e : cli_testing::Events(events, "status")) texts.push_back(e.at("text"));
  EXPECT_EQ(texts, cli_testing::StatusTexts(plain.out));
  const auto codes = cli_testing::Events(events, "progress");
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.front().at("code"), 0);
  EXPECT_EQ(codes.back().at("code"), 400);
  EXPECT_EQ(codes.back().at("text"), "Download complete!");
  const auto files = cli_testing::Events(events, "files");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].at("files").size(), firmware.Files().size());
  const auto results = cli_testing::Events(events, "result");
  ASSERT_EQ(results.size(), 1u);
  EXPECT_TRUE(results[0].at("ok").get<bool>());
  // The result counts what the phone acknowledged step by step, not the files' sizes (the
  // configuration and the image headers are not written as such).
  uint64_t acknowledged = 0;
  for (const auto& s : cli_testing::Events(events, "step")) {
    if (s.at("phase") == "end") acknowledged += s.at("bytes_done").get<uint64_t>();
  }
  EXPECT_GT(acknowledged, 0u);
  EXPECT_LT(acknowledged, firmware.TotalBytes());
  EXPECT_EQ(results[0].at("bytes"), acknowledged);
  const auto summary = cli_testing::Events(events, "summary");
  ASSERT_EQ(summary.size(), 1u);
  EXPECT_TRUE(summary[0].at("ok").get<bool>());
  EXPECT_TRUE(json.err.empty());
}

// A file that no partition names would not be written: the plug-in's pre-flight refuses the run
// before the phone, unless the user allows unused files; then the phone gets everything else
// and the file is named.
TEST_F(CliDownload, AFileNoStepWouldWriteIsRefusedUnlessAllowed) {
  const std::string extra = dir / "Boot.img";  // the table names boot.img, case for case
  std::ofstream(extra) << "not in the partition table";
  SimulatedTq4410 strictPhone;
  const CliRun strict = Cli(WithFiles({"download", "--port", Port(strictPhone), extra}));
  EXPECT_EQ(strict.status, 2) << strict.out << strict.err;
  EXPECT_TRUE(strict.ErrHas(extra + ": no step of this download would write it (no partition of "
                                    "the configuration names it)"))
      << strict.err;
  EXPECT_TRUE(strict.ErrHas("(--allow-unused starts it all the same)"));
  EXPECT_TRUE(strictPhone.Device().Requests().empty());

  SimulatedTq4410 phone;
  const CliRun allowed =
      Cli(WithFiles({"download", "--port", Port(phone), extra, "--allow-unused"}));
  EXPECT_EQ(allowed.status, 0) << allowed.out << allowed.err;
  EXPECT_TRUE(allowed.OutHas(": not written: " + extra)) << allowed.out;
  EXPECT_TRUE(phone.VerifyNormalDownload(firmware).ok);
}

// A partition image alone names no partition: refused; allowed all the same, the plug-in (which
// reports its steps) sends none, and the run that wrote nothing fails instead of claiming MB/s.
TEST_F(CliDownload, APartitionImageWithoutItsConfigurationIsNeverASuccess) {
  SimulatedTq4410 phone;
  const std::string boot = firmware.PathOf("boot.img");
  const CliRun refused = Cli({"download", "--port", Port(phone), boot});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(refused.ErrHas(boot + ": no step of this download would write it (there is no "
                                    "configuration file to name its partition)"))
      << refused.err;
  EXPECT_TRUE(phone.Device().Requests().empty());
  const CliRun forced = Cli({"download", "--port", Port(phone), boot, "--allow-unused"});
  EXPECT_EQ(forced.status, 1) << forced.out;
  EXPECT_TRUE(forced.OutHas(": FAILED after ")) << forced.out;
  EXPECT_TRUE(forced.OutHas("s: Not written: " + boot)) << forced.out;
  EXPECT_FALSE(forced.OutHas("succeeded"));
}

// The plug-in reports a failure, then claims completion and returns 1: the failure stands.
TEST_F(CliDownload, AFailureThenACompletionIsAFailure) {
  SimulatedTq4410 phone;
  const std::string plugin = cli_testing::ProgramDirectory() + "/failing_model.so";
  const CliRun run = Cli(WithFiles({"download", "--port", Port(phone), "--plugin", plugin}));
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_TRUE(run.OutHas("s: The phone refused the block (last line: Download complete)"))
      << run.out;
  EXPECT_TRUE(
      run.OutHas("the plug-in reports no steps, so which files it wrote cannot be "
                 "checked"));
  EXPECT_TRUE(run.OutHas("[Error]"));
  EXPECT_FALSE(run.OutHas("[Download complete!]"));
}

TEST_F(CliDownload, AFailedRunEndsWithExitStatusOneAndItsLastLine) {
  SimulatedTq4410 phone;
  phone.Device().InjectFault({.kind = phonesim::FaultKind::kRefuse, .command = 0x02, .skip = 1});
  const CliRun run = Cli(WithFiles({"download", "--port", Port(phone)}));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.OutHas("FAILED")) << run.out;
  EXPECT_TRUE(run.OutHas("1 of 1 phone failed: pts"));
  EXPECT_TRUE(run.OutHas("[Error]"));
  EXPECT_EQ(phone.Resets(), 0);
}

TEST_F(CliDownload, SimulateWritesASampleSetAndChecksThePhone) {
  const CliRun run = Cli({"download", "--simulate"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(run.OutHas("Sample firmware written to "));
  EXPECT_TRUE(run.OutHas("Byte-for-byte check of the simulated phone"));
  EXPECT_EQ(run.OutLines().back().rfind("Verification passed: 7 images", 0), 0u) << run.out;
}

class CliRefuses : public CliFixture {
 protected:
  // Nothing was sent to the phone: the run was refused before it started.
  static void ExpectUntouched(SimulatedTq4410& phone) {
    EXPECT_TRUE(phone.Device().Requests().empty());
  }
};

TEST_F(CliRefuses, FilesThatCannotBeUsed) {
  SimulatedTq4410 phone;
  std::vector<std::string> args = WithFiles({"download", "--port", Port(phone)});
  args.push_back(dir / "missing.img");
  const CliRun missing = Cli(args);
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(
      missing.ErrHas(dir / "missing.img" + " could not be opened: No such file or directory"))
      << missing.err;
  EXPECT_TRUE(missing.ErrHas("the download was not started"));
  EXPECT_TRUE(missing.OutHas("Message: File Open Error"));

  std::vector<std::string> many = {"download", "--port", Port(phone)};
  for (int i = 0; i < 21; ++i) {
    many.push_back(dir / ("f" + std::to_string(i) + ".img"));
    std::ofstream(many.back()) << i;
  }
  const CliRun tooMany = Cli(many);
  EXPECT_EQ(tooMany.status, 2);
  EXPECT_TRUE(tooMany.ErrHas("Number of file can't exceed 20"));

  // The plug-in passes over a file that is no ROM image: its pre-flight says so.
  const CliRun wrongKind = Cli({"factory", "--port", Port(phone), firmware.PathOf("boot.img"),
                                firmware.PathOf("system.img")});
  EXPECT_EQ(wrongKind.status, 2);
  EXPECT_TRUE(wrongKind.ErrHas(firmware.PathOf("system.img") +
                               ": no step of this download would write it (a ROM image is a "
                               "modem factory file, *.fls, or an eMMC one, *.bin)"))
      << wrongKind.err;

  const CliRun gone = Cli({"factory", "--port", Port(phone), dir / "gone.fls", dir / "gone.bin"});
  EXPECT_EQ(gone.status, 2);
  EXPECT_TRUE(gone.ErrHas("gone.fls: no such file"));
  ExpectUntouched(phone);
}

// The plug-in reads every file before a phone is touched; what it refuses is a usage error.
TEST_F(CliRefuses, FilesThePluginsCheckRefuses) {
  SimulatedTq4410 phone;
  std::ofstream(firmware.PathOf("partition.cfg"))
      << "[device]\nTotal_size=0x3A6065\n[partition]\nname=boot\nsize=0xFFFFFFFF\n"
         "filename=boot.img\n[end]\n";
  const CliRun config = Cli(WithFiles({"download", "--port", Port(phone)}));
  EXPECT_EQ(config.status, 2);
  EXPECT_TRUE(config.ErrHas(firmware.PathOf("partition.cfg") +
                            ": Partition boot runs past the device's total size"))
      << config.err;

  const std::string random = dir / "random.mdm";
  std::ofstream(random) << std::string(5000, '\x5A');
  const CliRun mdm =
      Cli({"mdm", "--port", Port(phone), "--mdm", random, firmware.PathOf("boot.img")});
  EXPECT_EQ(mdm.status, 2);
  EXPECT_TRUE(mdm.ErrHas(random + ": MDM binary holds no partition to write")) << mdm.err;

  std::vector<std::string> modemOnly = {"download", "--port", Port(phone), "--erase", "ap"};
  for (const auto& m : firmware.ModemImages()) modemOnly.push_back(firmware.PathOf(m.file));
  const CliRun erase = Cli(modemOnly);
  EXPECT_EQ(erase.status, 2);
  EXPECT_TRUE(erase.ErrHas("needs a configuration file (.cfg): none is given")) << erase.err;
  ExpectUntouched(phone);
}

// A file's name reaches the terminal as text: its escape sequence is shown escaped, its line
// break makes no line of its own; JSON carries the name as it is, in JSON's own escapes.
TEST_F(CliRefuses, AHostileFileNameNeitherDrivesTheTerminalNorForgesALine) {
  const std::string evil = dir / "evil\x1b[2J\nPASS.bin";
  std::ofstream(evil) << "no step of a download writes this";
  const CliRun plain = Cli({"download", "--simulate", evil});
  EXPECT_EQ(plain.status, 2) << plain.out << plain.err;
  EXPECT_TRUE(plain.ErrHas("evil\\x1b[2J\\x0aPASS.bin: no step of this download would write it"))
      << plain.err;
  for (const std::string& text : {plain.out, plain.err}) {
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_TRUE(line.find("PASS.bin") == line.npos || line.find("evil") != line.npos) << line;
    }
  }
  const CliRun json = Cli({"download", "--simulate", "--json", evil});
  EXPECT_EQ(json.status, 2);
  size_t named = 0;
  for (const auto& e : cli_testing::Events(json.Json(), "error")) {
    named += e.at("text").get<std::string>().rfind(evil + ": no step", 0) == 0;
  }
  EXPECT_EQ(named, 1u) << json.out;
}

TEST_F(CliRefuses, ArgumentsThatMakeNoSense) {
  const CliRun erase = Cli(WithFiles({"download", "--erase", "everything"}));
  EXPECT_EQ(erase.status, 2);
  EXPECT_EQ(erase.err,
            "tarvex-cli: unknown erase word 'everything' (known: ap, cp, userdata)\n"
            "Try 'tarvex-cli download --help'.\n");
  const CliRun port = Cli(WithFiles({"download", "--port", "255"}));
  EXPECT_EQ(port.status, 2);
  EXPECT_TRUE(port.ErrHas("no port has number 255"));
  const CliRun null = Cli(WithFiles({"download", "--port", "/dev/null"}));
  EXPECT_EQ(null.status, 2);
  EXPECT_TRUE(null.ErrHas("/dev/null is not a serial port"));
  // A script that asked for JSON gets the refusal as JSON, wherever --json stands.
  const CliRun json = Cli({"download", "--erase", "everything", "--json"});
  EXPECT_EQ(json.status, 2);
  ASSERT_EQ(json.Json().size(), 1u);
  EXPECT_EQ(json.Json()[0]["event"], "error");
  EXPECT_EQ(json.Json()[0]["text"], "unknown erase word 'everything' (known: ap, cp, userdata)");
  const CliRun help = Cli({"multi", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.OutHas("usage: tarvex-cli multi download"));
}

TEST_F(CliRefuses, NoPhoneWithinTheWait) {
  const CliRun one = Cli(WithFiles({"download", "--wait", "0.3"}));
  EXPECT_EQ(one.status, 4);
  EXPECT_TRUE(one.ErrHas("no phone port appeared within 0.3 s"));
  EXPECT_TRUE(one.OutHas("Waiting for a phone port within 0.3 s..."));
  const CliRun many = Cli(WithFiles({"multi", "download", "--wait", "0.3"}));
  EXPECT_EQ(many.status, 4);
  EXPECT_TRUE(many.ErrHas("no phone port appeared within 0.3 s"));
}

TEST_F(CliRefuses, APluginThatIsMissingOrLacksTheEntryPoint) {
  SimulatedTq4410 phone;
  const CliRun missing = Cli(WithFiles({"download", "--plugin", dir / "none.so"}));
  EXPECT_EQ(missing.status, 3);
  EXPECT_TRUE(missing.ErrHas("cannot load the plug-in " + dir / "none.so")) << missing.err;

  const std::string notALibrary = firmware.PathOf("partition.cfg");
  EXPECT_EQ(Cli(WithFiles({"download", "--plugin", notALibrary})).status, 3);

  const std::string partial = cli_testing::ProgramDirectory() + "/partial_model.so";
  struct Case {
    std::vector<std::string> args;
    const char* missingExport;
  };
  const std::vector<Case> cases = {
      {WithFiles({"download"}), "DoDownload, JudgeFile, GetFileTypeStr, FileDLOrder"},
      {{"factory", "a.fls", "b.bin"}, "DoFactoryDownload"},
      {{"mdm", "ap.img"}, "DoFactoryDownloadMDM"},
      {{"upload", "--out", "x", "--sectors", "1", "--address", "0"}, "DoUploadStart"},
      {{"multi", "factory", "a.fls", "b.bin"}, "DoFactoryDownload"}};
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--plugin", partial});
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, 3) << c.missingExport;
    EXPECT_EQ(run.err, "tarvex-cli: The plug-in " + partial + " lacks " + c.missingExport + "\n");
  }
  ExpectUntouched(phone);
}

TEST_F(CliRefuses, SimulateWithoutItsModule) {
  cli::Environment env;
  env.programDirectory = dir.Path().string();  // no tarvex-sim.so beside this "program"
  const std::string plugin = cli_testing::ProgramDirectory() + "/model.so";
  const std::string module = dir / "tarvex-sim.so";
  const CliRun missing = Cli({"download", "--simulate", "--plugin", plugin}, env);
  EXPECT_EQ(missing.status, 3);
  EXPECT_TRUE(missing.ErrHas("tarvex-cli: --simulate needs the simulation module " + module + ": "))
      << missing.err;
  EXPECT_EQ(Cli({"ports", "--simulate"}, env).status, 3);
  // Upload cannot be simulated at all, module or not: that is the arguments' fault.
  const std::vector<std::string> upload = {"upload",    "--simulate", "--plugin",  plugin,
                                           "--out",     dir / "x",    "--sectors", "1",
                                           "--address", "0"};
  EXPECT_EQ(Cli(upload, env).status, 2);

  std::filesystem::create_symlink(cli_testing::ProgramDirectory() + "/partial_model.so", module);
  const CliRun lacking = Cli({"download", "--simulate", "--plugin", plugin}, env);
  EXPECT_EQ(lacking.status, 3);
  EXPECT_EQ(lacking.err,
            "tarvex-cli: the simulation module lacks TarvexCreateSimulation (" + module + ")\n");
}

class CliFactory : public CliFixture {
 protected:
  testing_support::ScopedTimeScale fast{0.1};  // the sequence's fixed pauses: 2 s and 5 s
};

TEST_F(CliFactory, RomCopyOfBothFactoryFilesWithTheModemErase) {
  const auto set = phonesim::builders::FactorySample::Write(dir.Path().string());
  SimulatedTq4410 phone;
  const CliRun run =
      Cli({"factory", "--erase", "cp", "--port", Port(phone), set.CpPath(), set.ApPath()});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const phonesim::Verification v = phone.VerifyFactoryDownload(set);
  EXPECT_TRUE(v.ok) << v.Verdict();
  EXPECT_TRUE(run.OutHas("File : TQ4410_factory.fls"));
  EXPECT_TRUE(run.OutHas("File : TQ4410_emmc.bin"));
  const auto texts = cli_testing::StatusTexts(run.out);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "RomBinary Download success"), texts.end());
}

TEST_F(CliFactory, SimulateChecksTheSampleFactoryFiles) {
  const CliRun run = Cli({"factory", "--simulate", "--json"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const auto checks = cli_testing::Events(run.Json(), "verification");
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_TRUE(checks[0].at("ok").get<bool>());
  EXPECT_EQ(checks[0].at("images").size(), 7u);
}

}  // namespace
