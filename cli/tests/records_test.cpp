// The records of runs: the station's SQLite file, its schema's migration, a run that dies before
// its end, and what tarvex-cli's runs leave in it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "cli_harness.h"
#include "host/records/local_store.h"
#include "host/records/record_csv.h"
#include "host/records/records_settings.h"
#include "tests/support/temp_dir.h"

namespace {

using records::LocalStore;
using records::Record;

Record Sample(const std::string& serial, const std::string& verdict, int64_t startMs) {
  Record r;
  r.id = records::NewId();
  r.state = records::kEnded;
  r.station = "bench-1";
  r.startMs = startMs;
  r.endMs = startMs + 1500;
  r.mode = "normal";
  r.verdict = verdict;
  r.phone.usbSerial = serial;
  r.files.push_back({"/fw/boot.img", 4096, std::string(64, 'a'), 4096, false, "partition", 0, 4096,
                     20, records::kPass});
  r.lines = {"Download Start...", "a line, with a comma"};
  return r;
}

class RecordStore : public ::testing::Test {
 protected:
  std::unique_ptr<LocalStore> Open(const records::Migrations& schema = records::CurrentSchema()) {
    std::string error;
    auto store = LocalStore::Open(file, error, schema);
    EXPECT_TRUE(store) << error;
    return store;
  }

  testing_support::TempDir dir;
  const std::string file = dir / "records.sqlite";
};

TEST_F(RecordStore, KeepsARecordWholeAndFindsItByEachFilter) {
  auto store = Open();
  const int64_t day = 86400000;
  const Record old = Sample("SN-1", records::kPass, 1'700'000'000'000);
  Record recent = Sample("SN-2", records::kFail, old.startMs + 10 * day);
  recent.phone.pid = "PID-7";
  ASSERT_TRUE(store->Complete(old));
  ASSERT_TRUE(store->Complete(recent));

  const auto got = store->Get(recent.id.substr(0, 8));
  ASSERT_TRUE(got);
  EXPECT_FALSE(store->Get(recent.id.substr(0, 7) + "_"));  // a prefix, never a pattern
  EXPECT_EQ(records::CsvRow(*got), records::CsvRow(recent));
  EXPECT_EQ(got->files.size(), 1U);
  EXPECT_EQ(got->files[0].sha256, recent.files[0].sha256);
  EXPECT_EQ(got->lines, recent.lines);

  records::Query q;
  q.serial = "PID-7";  // the phone's PID answers as well as the USB serial
  EXPECT_EQ(store->Find(q).size(), 1U);
  q = {};
  q.sinceMs = old.startMs + day;
  EXPECT_EQ(store->Find(q).size(), 1U);
  q = {};
  q.verdict = records::kPass;
  ASSERT_EQ(store->Find(q).size(), 1U);
  EXPECT_EQ(store->Find(q)[0].id, old.id);
  // Simulated phones' records stay out of the way unless asked for.
  Record simulated = Sample("SN-3", records::kPass, recent.startMs);
  simulated.simulated = true;
  ASSERT_TRUE(store->Complete(simulated));
  EXPECT_EQ(store->Find({}).size(), 2U);
  q = {};
  q.simulated = true;
  EXPECT_EQ(store->Find(q).size(), 3U);
  EXPECT_EQ(store->Unsent(10).size(), 2U);  // never a simulated one to the server
}

Record Running(const std::string& serial) {
  Record r = Sample(serial, "", records::NowMs());
  r.state = records::kStarted;
  r.endMs = 0;
  return r;
}

TEST_F(RecordStore, ARunWhoseProcessDiedIsInterruptedNotLost) {
  const Record started = Running("SN-9");
  const pid_t child = fork();
  if (child == 0) {
    std::string error;
    auto store = LocalStore::Open(file, error);
    _exit(store && store->Begin(started) ? 0 : 1);  // dies with the run still going
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);

  const auto got = Open()->Get(started.id);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->state, records::kInterrupted);
  EXPECT_EQ(got->verdict, records::kFail);
  // A run of this process that is still going is left alone.
  auto store = Open();
  ASSERT_TRUE(store->Begin(Running("SN-10")));
  EXPECT_EQ(Open()->Find({}).front().state, records::kStarted);
}

TEST_F(RecordStore, AnOlderFileIsMigratedAndAnOlderProgramStillWritesANewerOne) {
  const Record kept = Sample("SN-1", records::kPass, records::NowMs());
  ASSERT_TRUE(Open()->Complete(kept));  // a version-1 file
  records::Migrations next = records::CurrentSchema();
  next.push_back({"ALTER TABLE runs ADD COLUMN fixture TEXT NOT NULL DEFAULT ''",
                  "CREATE TABLE line_notes (run_id TEXT, note TEXT)"});
  auto migrated = Open(next);
  EXPECT_EQ(migrated->Version(), 2);
  EXPECT_TRUE(migrated->Get(kept.id));
  migrated.reset();
  auto older = Open();
  EXPECT_EQ(older->Version(), 2);
  EXPECT_TRUE(older->Complete(Sample("SN-2", records::kPass, records::NowMs())));
  EXPECT_EQ(older->Find({}).size(), 2U);
  // A migration that fails leaves the file as it was.
  records::Migrations broken = next;
  broken.push_back({"CREATE TABLE line_notes (x TEXT)"});
  std::string error;
  EXPECT_FALSE(LocalStore::Open(file, error, broken));
  EXPECT_NE(error.find("schema version 3"), std::string::npos) << error;
  EXPECT_EQ(Open()->Version(), 2);
}

TEST_F(RecordStore, ACorruptFileIsRefusedWithItsReason) {
  std::ofstream(file) << std::string(8192, 'x');
  std::string error;
  EXPECT_FALSE(LocalStore::Open(file, error));
  EXPECT_NE(error.find("not a database"), std::string::npos) << error;
}

TEST(RecordText, TimesParseInUtcUnlessTheyCarryAnOffset) {
  int64_t ms = 0;
  ASSERT_TRUE(records::ParseTime("2026-12-09", ms));
  EXPECT_EQ(records::IsoUtc(ms), "2026-12-09T00:00:00.000Z");
  ASSERT_TRUE(records::ParseTime("2026-12-09T01:30+02:00", ms));
  EXPECT_EQ(records::IsoUtc(ms), "2026-12-08T23:30:00.000Z");
  ASSERT_TRUE(records::ParseTime("2024-02-29T23:59:59.999Z", ms));
  EXPECT_EQ(records::IsoUtc(ms), "2024-02-29T23:59:59.999Z");
  for (const char* bad : {"", "2026-13-01", "2026-12-9", "yesterday", "2026-12-09T25:00",
                          "2026-12-09+1", "2026-12-09T10:00Zjunk"}) {
    EXPECT_FALSE(records::ParseTime(bad, ms)) << bad;
  }
  EXPECT_EQ(records::CsvField("a \"b\", c"), "\"a \"\"b\"\", c\"");
  EXPECT_EQ(records::CsvField("plain"), "plain");
}

TEST(RecordText, SettingsComeFromTheRecordsSection) {
  CIniFile ini;
  ini.Parse("[Records]\nStation=line-3\nKeepDays=30\nRequired=1\n");
  const records::Settings s = records::SettingsOf(ini, "/data/records.sqlite");
  EXPECT_EQ(s.station, "line-3");
  EXPECT_EQ(s.keepDays, 30);
  EXPECT_TRUE(s.required);
  EXPECT_EQ(s.file, "/data/records.sqlite");
  EXPECT_FALSE(records::SettingsOf(CIniFile(), "").station.empty());  // the host's name
  ini.Parse("[Records]\nFile=none\n");
  EXPECT_EQ(records::SettingsOf(ini, "/data/records.sqlite").file, "");  // no records kept
  ini.Parse("[Records]\nFile=line/records.sqlite\n");
  EXPECT_EQ(records::SettingsOf(ini, "", "/opt/tarvex").file, "/opt/tarvex/line/records.sqlite");
}

// What tarvex-cli's runs leave: one record per phone, a refused set included, each readable
// with `records`.
class CliRecords : public ::testing::Test {
 protected:
  cli_testing::CliRun Run(std::vector<std::string> args) {
    cli::Environment env;
    env.programDirectory = cli_testing::ProgramDirectory();
    env.dataDirectory = dir.Path().string();
    args.insert(args.end(), {"--no-tty", "--station", "test-station"});
    return cli_testing::Cli(args, env);
  }

  testing_support::TempDir dir;
};

TEST_F(CliRecords, EveryPhoneOfAMultiRunLeavesARecord) {
  ASSERT_EQ(Run({"multi", "download", "--simulate", "3"}).status, 0);
  EXPECT_EQ(Run({"records"}).out.find("pass"), std::string::npos);  // simulated: hidden
  const auto csv = Run({"records", "--simulated", "--csv"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  const auto lines = csv.OutLines();
  ASSERT_EQ(lines.size(), 4U) << csv.out;
  EXPECT_EQ(lines[0], records::CsvHeader());
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_NE(lines[i].find(",test-station,"), std::string::npos) << lines[i];
    EXPECT_NE(lines[i].find(",normal,0,pass,,ended,"), std::string::npos) << lines[i];
  }
}

TEST_F(CliRecords, EachFileCarriesItsDigestAndItsStepWhetherTheHostOrThePlugInReadIt) {
  ASSERT_EQ(Run({"download", "--simulate"}).status, 0);
  std::string error;
  auto store = LocalStore::OpenToRead(dir / "tarvex/records.sqlite", error);
  ASSERT_TRUE(store) << error;
  records::Query all;
  all.simulated = true;
  const auto found = store->Find(all);
  ASSERT_EQ(found.size(), 1U);
  const Record r = *store->Get(found[0].id);
  size_t partitions = 0;
  for (const records::FileRun& f : r.files) {
    if (f.path.empty()) continue;  // a step on no file of the user's (an erase)
    EXPECT_EQ(f.sha256.size(), 64U) << f.path;
    EXPECT_FALSE(f.partial) << f.path;
    EXPECT_EQ(f.result, records::kPass) << f.path;
    if (f.stepKind == "partition") {
      ++partitions;  // streamed from disk: hashed in the plug-in's reading loop
      EXPECT_EQ(f.hashedBytes, f.size) << f.path;
    }
  }
  EXPECT_EQ(partitions, 3U);
  EXPECT_FALSE(r.phone.usbPath.empty());  // a simulated phone announces its socket and serial
  EXPECT_FALSE(r.phone.usbSerial.empty());
  EXPECT_FALSE(r.lines.empty());
  const auto json = Run({"records", "show", r.id.substr(0, 8), "--json"}).Json();
  ASSERT_EQ(json.size(), 2U);  // where from, then the record
  EXPECT_EQ(json[1].at("files").size(), r.files.size());
  EXPECT_EQ(json[1].at("files")[0].at("sha256"), r.files[0].sha256);
}

TEST_F(CliRecords, ARefusedSetAndACorruptFileEachSayWhatHappened) {
  const std::string image = dir / "lonely.img";
  std::ofstream(image) << std::string(4096, '\x5a');
  const auto refused = Run({"download", "--simulate", image});
  EXPECT_EQ(refused.status, 2);
  const auto listed = Run({"records", "--simulated", "--verdict", "refused", "--csv"});
  ASSERT_EQ(listed.OutLines().size(), 2U) << listed.out;
  EXPECT_NE(listed.OutLines()[1].find("lonely.img: no step of this download would write it"),
            std::string::npos);

  std::ofstream(dir / "tarvex/records.sqlite", std::ios::trunc) << std::string(8192, 'x');
  const auto flashed = Run({"download", "--simulate"});
  EXPECT_EQ(flashed.status, 0) << flashed.err;  // a broken record file never fails a flash
  EXPECT_TRUE(flashed.OutHas("The records cannot be written to")) << flashed.out;
}

// A line that must never ship an unrecorded phone: with "records required", a record file that
// cannot be written stops the command before the phone is touched.
TEST_F(CliRecords, RequiredRecordsThatCannotBeWrittenStopTheRunBeforeThePhone) {
  const std::string program = dir / "program";
  std::filesystem::create_directories(program);
  std::filesystem::create_symlink(cli_testing::ProgramDirectory() + "/tarvex-sim.so",
                                  program + "/tarvex-sim.so");
  std::ofstream(program + "/Tarvex.ini")
      << "[Records]\nRequired=1\nFile=" << (dir / "missing/dir/records.sqlite") << "\n";
  cli::Environment env;
  env.programDirectory = program;  // a portable install: its settings beside it
  env.configDirectory = dir / "config";
  env.dataDirectory = dir.Path().string();
  const auto run = cli_testing::Cli({"download", "--simulate", "--no-tty", "--plugin",
                                     cli_testing::ProgramDirectory() + "/model.so"},
                                    env);
  EXPECT_EQ(run.status, 2) << run.out;
  EXPECT_TRUE(run.ErrHas("tarvex-cli: Records are required: The records cannot be written to " +
                         (dir / "missing/dir/records.sqlite")))
      << run.err;
  EXPECT_FALSE(run.OutHas("Download Start")) << run.out;
}

}  // namespace
