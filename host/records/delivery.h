#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The thread that takes a station's unsent records from its local file to the line's server,
// oldest first, each exactly once: the server keeps the first copy of an id, and the local file
// marks a record sent only after the server has it. What fails stays unsent for the next try.
namespace records {

class Delivery {
 public:
  using Say = std::function<void(const std::string& problem)>;
  Delivery(std::string file, std::string server, int keepDays, Say say);
  ~Delivery();  // ends between two records; joins
  Delivery(const Delivery&) = delete;
  Delivery& operator=(const Delivery&) = delete;

  void Ask();          // deliver what is unsent now
  std::string Wait();  // waits for the deliveries asked for; the last one's problem or ""

 private:
  void Loop();
  std::string DeliverAll();

  const std::string file_;
  const std::string server_;
  const int keepDays_;
  const Say say_;
  std::mutex lock_;
  std::condition_variable changed_;
  uint64_t asked_ = 0;
  uint64_t done_ = 0;
  bool stopping_ = false;
  std::string problem_;
  std::thread thread_;  // last
};

}  // namespace records
