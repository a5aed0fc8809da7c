#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// An estimate of how many bytes a run has written, for the progress bar's MB/s and time left.
//
// The plug-in reports progress per step (one partition, one image), not in bytes. The steps that
// carry the bulk of the data announce themselves in its status lines ("boot.img  writing start",
// "Partition size is 1024 KBytes"): from there on, its 0..100 codes are shares of that step's
// size. A new step counts the previous one as written; "Download complete!" counts everything.
namespace cli {

class Throughput {
 public:
  // `fileSizes`: bytes by bare file name; `totalBytes`: what the whole run writes.
  Throughput(std::map<std::string, uint64_t> fileSizes, uint64_t totalBytes);

  void OnText(const std::string& text, uint64_t nowMs);
  void OnCode(intptr_t code, uint64_t nowMs);
  // A step of known size that no status line announces (an upload is one step).
  void BeginStep(uint64_t bytes, uint64_t nowMs);

  struct Estimate {
    uint64_t doneBytes = 0;
    double bytesPerSecond = 0;          // 0 while nothing is known
    std::optional<double> secondsLeft;  // unknown until a rate is
  };
  Estimate At(uint64_t nowMs) const;

  uint64_t TotalBytes() const { return total_; }

 private:
  uint64_t Done() const;

  std::map<std::string, uint64_t> sizes_;
  uint64_t total_;
  uint64_t finished_ = 0;   // bytes of the steps that ended
  uint64_t stepBytes_ = 0;  // size of the current step (0: none)
  int stepPercent_ = 0;
  std::optional<uint64_t> firstStepMs_;
  std::optional<uint64_t> endMs_;  // the run's end froze the estimate here
};

}  // namespace cli
