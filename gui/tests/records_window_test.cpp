// The Records window over a station's file: the filters, one run's digests, the CSV export.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <fstream>
#include <sstream>

#include "gui/records_window.h"
#include "host/records/local_store.h"
#include "host/records/record_csv.h"
#include "support/temp_dir.h"

namespace {

records::Record Flashed(const std::string& verdict, bool simulated, int64_t startMs) {
  records::Record r;
  r.id = records::NewId();
  r.state = records::kEnded;
  r.station = "bench-2";
  r.startMs = startMs;
  r.endMs = startMs + 42000;
  r.mode = "normal";
  r.verdict = verdict;
  r.simulated = simulated;
  r.phone.port = "COM3 (/dev/ttyACM0)";
  r.phone.usbSerial = "SN" + std::to_string(startMs % 1000);
  r.files.push_back({"/fw/system.img", 4096, std::string(64, 'c'), 4096, false, "partition", 0,
                     4096, 40, verdict});
  return r;
}

TEST(RecordsWindowTest, FiltersShowsOneRunsDigestsAndExportsWhatTheFilterShows) {
  testing_support::TempDir dir;
  records::Settings settings;
  settings.file = dir / "records.sqlite";
  {
    std::string error;
    auto store = records::LocalStore::Open(settings.file, error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->Complete(Flashed(records::kPass, false, 1'760'000'000'001)));
    ASSERT_TRUE(store->Complete(Flashed(records::kFail, false, 1'760'000'100'002)));
    ASSERT_TRUE(store->Complete(Flashed(records::kPass, true, 1'760'000'200'003)));
  }
  gui::RecordsWindow window(settings);
  auto* table = window.findChild<QTableWidget*>("records");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->rowCount(), 2);  // the simulated phone's run stays out of the way
  EXPECT_EQ(table->item(0, 5)->text().toStdString(), "fail");  // newest first
  const std::string detail =
      window.findChild<QPlainTextEdit*>("detail")->toPlainText().toStdString();
  EXPECT_NE(detail.find("sha256  " + std::string(64, 'c')), std::string::npos) << detail;

  window.findChild<QComboBox*>("verdict")->setCurrentText("pass");
  EXPECT_EQ(table->rowCount(), 1);
  window.findChild<QCheckBox*>("simulated")->setChecked(true);
  EXPECT_EQ(table->rowCount(), 2);

  const std::string csv = dir / "export.csv";
  ASSERT_EQ(window.ExportCsv(csv), "");
  std::ifstream in(csv);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[0], records::CsvHeader());
  const std::string nowhere = dir / "no/such/dir/x.csv";
  EXPECT_EQ(window.ExportCsv(nowhere), "The records could not be written to " + nowhere);
}

}  // namespace
