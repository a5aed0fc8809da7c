// The line's PostgreSQL server: several stations delivering at once, a server that is down, a
// station that sends again, a migration. The server is the throw-away one that test.sh starts
// (its connection string in TARVEX_TEST_PG); a test that stops its server starts one of its own.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>

#include "host/records/local_store.h"
#include "host/records/recorder.h"
#include "host/records/records_settings.h"
#include "host/records/server_store.h"
#include "tests/support/temp_dir.h"

namespace {

using records::Record;

// A database of the test's own on a server, dropped at the end.
class TestDatabase {
 public:
  explicit TestDatabase(std::string server) : server_(std::move(server)) {
    std::random_device seed;
    name_ = "tarvex_t" + std::to_string(seed());
    ok_ = Admin("CREATE DATABASE " + name_);
  }
  ~TestDatabase() {
    if (ok_) Admin("DROP DATABASE " + name_ + " WITH (FORCE)");
  }
  bool Ok() const { return ok_; }
  std::string Connection() const { return server_ + " dbname=" + name_; }
  // One number the server answers to `sql` in this database; -1 on failure.
  long Count(const std::string& sql) const {
    PGconn* c = PQconnectdb(Connection().c_str());
    PGresult* r = PQexec(c, sql.c_str());
    const long n = PQresultStatus(r) == PGRES_TUPLES_OK ? std::atol(PQgetvalue(r, 0, 0)) : -1;
    PQclear(r);
    PQfinish(c);
    return n;
  }

 private:
  bool Admin(const std::string& sql) const {
    PGconn* c = PQconnectdb((server_ + " dbname=postgres").c_str());
    PGresult* r = PQexec(c, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    PQfinish(c);
    return ok;
  }

  std::string server_;
  std::string name_;
  bool ok_ = false;
};

std::string TestServer() {
  const char* server = std::getenv("TARVEX_TEST_PG");  // NOLINT(concurrency-mt-unsafe)
  return server != nullptr ? server : "";
}

Record Flashed(const std::string& station, int n) {
  Record r;
  r.id = records::NewId();
  r.state = records::kEnded;
  r.station = station;
  r.startMs = records::NowMs();
  r.endMs = r.startMs + 1000;
  r.verdict = records::kPass;
  r.phone.usbSerial = station + "-" + std::to_string(n);
  r.files.push_back({"/fw/system.img", 1 << 20, std::string(64, 'b'), 1 << 20, false, "partition",
                     0, 1 << 20, 900, records::kPass});
  return r;
}

// Writes `count` records into the station's file and delivers them; "" or the problem.
std::string Station(const std::string& file, const std::string& server, const std::string& name,
                    int count) {
  std::string error;
  {
    auto local = records::LocalStore::Open(file, error);
    for (int i = 0; local && i < count; ++i) local->Complete(Flashed(name, i));
    if (!local) return error;
  }
  records::Recorder recorder({file, server, records::kKeepDays}, nullptr);
  recorder.Deliver();
  return recorder.WaitDelivered();
}

class ServerRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TestServer().empty()) {
      // test.sh always starts one: there, a missing server is a failure, not a skip.
      if (std::getenv("TARVEX_PG_REQUIRED") != nullptr) FAIL() << "TARVEX_TEST_PG is not set";
      GTEST_SKIP() << "no test server: run ./test.sh, or set TARVEX_TEST_PG";
    }
    db_ = std::make_unique<TestDatabase>(TestServer());
    ASSERT_TRUE(db_->Ok()) << "cannot create a database on " << TestServer();
  }

  testing_support::TempDir dir;
  std::unique_ptr<TestDatabase> db_;
};

TEST_F(ServerRecords, StationsDeliveringAtOnceLeaveEachRecordOnce) {
  std::vector<pid_t> children;
  for (int s = 0; s < 3; ++s) {
    const pid_t child = fork();
    if (child == 0) {
      const std::string file = dir / ("station" + std::to_string(s) + ".sqlite");
      _exit(Station(file, db_->Connection(), "st" + std::to_string(s), 5).empty() ? 0 : 1);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  EXPECT_EQ(db_->Count("SELECT count(*) FROM runs"), 15);

  // A station whose acknowledgements were lost sends everything again: nothing doubles.
  const std::string file = dir / "station0.sqlite";
  sqlite3* local = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &local), SQLITE_OK);
  sqlite3_exec(local, "UPDATE runs SET sent = 0", nullptr, nullptr, nullptr);
  sqlite3_close(local);
  EXPECT_EQ(Station(file, db_->Connection(), "st0", 0), "");
  EXPECT_EQ(db_->Count("SELECT count(*) FROM runs"), 15);
  EXPECT_EQ(db_->Count("SELECT count(*) FROM run_files"), 15);
}

TEST_F(ServerRecords, AServerThatIsDownKeepsTheRecordsUntilItIsBack) {
  const std::string script = std::string(TARVEX_SOURCE_DIR) + "/scripts/pg-test-server.sh";
  const std::string cluster = dir / "cluster";
  const std::string port = std::to_string(56000 + getpid() % 1000);
  ASSERT_EQ(std::system((script + " start " + cluster + " " + port).c_str()), 0);
  const std::string server = "host=" + cluster + " port=" + port + " user=postgres dbname=postgres";
  ASSERT_EQ(std::system((script + " pause " + cluster).c_str()), 0);

  std::vector<std::string> said;
  const std::string file = dir / "records.sqlite";
  {
    records::Recorder recorder({file, server, records::kKeepDays},
                               [&](const std::string& p) { said.push_back(p); });
    recorder.End(Flashed("down", 1));
    recorder.Deliver();
    EXPECT_NE(recorder.WaitDelivered(), "");
  }
  ASSERT_EQ(said.size(), 1U);  // said once, however often it was tried
  EXPECT_NE(said[0].find("cannot be reached"), std::string::npos) << said[0];
  std::string error;
  EXPECT_EQ(records::LocalStore::Open(file, error)->Unsent(10).size(), 1U);

  ASSERT_EQ(std::system((script + " resume " + cluster).c_str()), 0);
  EXPECT_EQ(Station(file, server, "down", 0), "");
  EXPECT_EQ(Station(file, server, "down", 0), "");
  auto back = records::ServerStore::Connect(server, error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->Find({}, error).size(), 1U);
  EXPECT_TRUE(records::LocalStore::Open(file, error)->Unsent(10).empty());
  back.reset();
  std::system((script + " stop " + cluster).c_str());
}

TEST_F(ServerRecords, AnOlderServerIsMigratedAndOlderStationsStillWrite) {
  std::string error;
  ASSERT_TRUE(records::ServerStore::Connect(db_->Connection(), error)) << error;  // version 1
  records::Migrations next = records::CurrentSchema();
  next.push_back({"ALTER TABLE runs ADD COLUMN line TEXT NOT NULL DEFAULT ''"});
  auto newer = records::ServerStore::Connect(db_->Connection(), error, next);
  ASSERT_TRUE(newer) << error;
  EXPECT_EQ(newer->Version(), 2);
  auto older = records::ServerStore::Connect(db_->Connection(), error);
  ASSERT_TRUE(older) << error;
  EXPECT_EQ(older->Version(), 2);
  EXPECT_TRUE(older->Put(Flashed("old", 1), error)) << error;
  EXPECT_EQ(db_->Count("SELECT count(*) FROM runs WHERE line = ''"), 1);
}

TEST(ServerConnection, APasswordInTheStringIsRefused) {
  EXPECT_NE(records::RefusedConnection("host=db password=secret").find("holds a password"),
            std::string::npos);
  EXPECT_NE(records::RefusedConnection("postgresql://tq:secret@db/line").find("holds a password"),
            std::string::npos);
  EXPECT_EQ(records::RefusedConnection("postgresql://tq@db/line?sslmode=require"), "");
  EXPECT_NE(records::RefusedConnection("host='unclosed").find("cannot be read"), std::string::npos);
}

}  // namespace
