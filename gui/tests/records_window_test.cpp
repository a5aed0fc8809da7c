// The Records window over a station's file: the filters, one run's digests, the CSV export, and
// a line's server that does not answer while the window keeps drawing.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <fstream>

#include "gui/records_window.h"
#include "host/records/local_store.h"
#include "host/records/record_csv.h"
#include "support/message_boxes.h"
#include "support/temp_dir.h"
#include "support/wait.h"

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

// A station's file with a pass, a fail and a simulated phone's pass, newest last.
class RecordsWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    settings.file = dir / "records.sqlite";
    std::string error;
    auto store = records::LocalStore::Open(settings.file, error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->Complete(Flashed(records::kPass, false, 1'760'000'000'001)));
    ASSERT_TRUE(store->Complete(Flashed(records::kFail, false, 1'760'000'100'002)));
    ASSERT_TRUE(store->Complete(Flashed(records::kPass, true, 1'760'000'200'003)));
  }
  // Runs the window's events until `done`, as the program waits in its event loop.
  template <typename Done>
  static bool Until(Done done) {
    return testing_support::WaitUntil([&] {
      QCoreApplication::processEvents();
      return done();
    });
  }
  static std::string Text(const gui::RecordsWindow& window, const char* label) {
    return window.findChild<QLabel*>(label)->text().toStdString();
  }

  testing_support::TempDir dir;
  records::Settings settings;
};

TEST_F(RecordsWindowTest, FiltersShowsOneRunsDigestsAndExportsWhatTheFilterShows) {
  testing_support::MessageBoxes boxes;
  gui::RecordsWindow window(settings);
  auto* table = window.findChild<QTableWidget*>("records");
  auto* detail = window.findChild<QPlainTextEdit*>("detail");
  const std::string digest = "sha256  " + std::string(64, 'c');
  ASSERT_TRUE(
      Until([&] { return detail->toPlainText().toStdString().find(digest) != std::string::npos; }));
  EXPECT_EQ(table->rowCount(), 2);  // the simulated phone's run stays out of the way
  EXPECT_EQ(table->item(0, 5)->text().toStdString(), "fail");  // newest first
  EXPECT_EQ(Text(window, "note"), "");

  window.findChild<QComboBox*>("verdict")->setCurrentText("pass");
  ASSERT_TRUE(Until([&] { return table->rowCount() == 1; }));
  window.findChild<QCheckBox*>("simulated")->setChecked(true);
  ASSERT_TRUE(Until([&] { return table->rowCount() == 2; }));

  const std::string csv = dir / "export.csv";
  window.ExportCsv(csv);
  ASSERT_TRUE(Until([&] { return Text(window, "note") == "2 records written to " + csv; }));
  std::ifstream in(csv);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[0], records::CsvHeader());
  const std::string nowhere = dir / "no/such/dir/x.csv";
  window.ExportCsv(nowhere);
  const std::string why = "The records could not be written to " + nowhere;
  ASSERT_TRUE(Until([&] { return Text(window, "note") == why; }));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{why});
}

// A server whose connection is taken but never answered: libpq waits out its connect time-out.
class SilentServer {
 public:
  SilentServer() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    auto* a = reinterpret_cast<sockaddr*>(&address);
    ok_ = ::bind(socket_, a, size) == 0 && ::listen(socket_, 8) == 0 &&
          ::getsockname(socket_, a, &size) == 0;
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { ::close(socket_); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  bool Ok() const { return ok_; }
  std::string Connection() const {
    return "host=127.0.0.1 port=" + std::to_string(port_) + " dbname=records sslmode=disable";
  }

 private:
  int socket_;
  int port_ = 0;
  bool ok_ = false;
};

// The window opens and takes a newer filter at once while the server keeps it waiting; the
// newest filter's answer comes from the station's file once the server has timed out, and a
// window closed while its server is still silent goes at once.
TEST_F(RecordsWindowTest, AServerThatDoesNotAnswerNeverHoldsTheWindow) {
  SilentServer server;
  ASSERT_TRUE(server.Ok());
  settings.server = server.Connection();
  QElapsedTimer clock;
  clock.start();
  gui::RecordsWindow window(settings);
  window.findChild<QComboBox*>("verdict")->setCurrentText("pass");
  { gui::RecordsWindow closedAtOnce(settings); }
  EXPECT_LT(clock.elapsed(), 1000);
  EXPECT_EQ(Text(window, "note"), gui::RecordsWindow::kReading);
  auto* table = window.findChild<QTableWidget*>("records");
  EXPECT_EQ(table->rowCount(), 0);

  ASSERT_TRUE(Until([&] { return Text(window, "note").empty(); }));
  EXPECT_GE(clock.elapsed(), 1000);  // the server's time-out, spent on the reading thread
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, 5)->text().toStdString(), "pass");
  EXPECT_NE(Text(window, "origin").find("the records of this station instead"), std::string::npos)
      << Text(window, "origin");
}

}  // namespace
