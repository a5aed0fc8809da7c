#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "host/records/record.h"

// Writes the records of one program's runs: the local file first, on a thread of its own, so
// that no phone's worker and no window ever waits for a disk or a database; then, where a line's
// server is configured, delivers what the file holds unsent on a second thread. A file or server
// that fails is said once through `report` (from either thread) and never fails a run.
namespace records {

class Delivery;

class Recorder {
 public:
  struct Config {
    std::string file;    // the local SQLite file; "" writes nothing
    std::string server;  // the line's PostgreSQL connection string; "" for none
    int keepDays = 90;   // delivered records are kept locally this long
  };
  using Report = std::function<void(const std::string& problem)>;

  Recorder(Config config, Report report);
  ~Recorder();  // writes what is queued, ends a delivery in progress, joins
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Whether the local file can be written: waits for it to be opened (for a line that must
  // never ship an unrecorded phone). "" when it can, else why not.
  std::string Problem();

  void Begin(const Record& record);  // the "started" row
  void End(const Record& record);    // the whole record
  // Waits until every record given so far is in the local file.
  void Flush();
  // Asks the delivery thread to deliver what is unsent now (`records sync` waits for it).
  void Deliver();
  // Waits for a delivery asked for to end; its problem, or "" when everything was delivered.
  std::string WaitDelivered();

 private:
  struct Job {
    Record record;
    bool ending = false;
  };
  void Write();
  void Say(const std::string& problem);

  const Config config_;
  const Report report_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  bool opened_ = false;
  std::string problem_;
  bool stopping_ = false;
  size_t busy_ = 0;
  std::set<std::string> said_;
  std::unique_ptr<Delivery> delivery_;
  std::thread writer_;  // last: started once everything it uses is there
};

// Why a run must not start: records are `required` (a line that must never ship an unrecorded
// phone) and the local file cannot be written, or none is kept. "" when the run may start.
inline std::string RequiredRefusal(bool required, Recorder* recorder) {
  if (!required) return "";
  if (recorder == nullptr) return "Records are required, and no record file is set";
  const std::string problem = recorder->Problem();
  return problem.empty() ? "" : "Records are required: " + problem;
}

}  // namespace records
