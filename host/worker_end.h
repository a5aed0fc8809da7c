#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// The end of a run's worker thread as its window sees it: the window waits a while for it and,
// should the plug-in not stop, abandons it rather than kill a thread that holds the plug-in's
// locks and the port. An abandoned worker runs on, detached, on inputs it owns a share of; the
// program counts such workers so that it never unloads a plug-in under one (it ends with _exit
// while one runs).
class WorkerEnd {
 public:
  // Called by the worker as its last act.
  void Ended();
  // Waits up to `limit` for Ended; false (the worker is then counted as abandoned) if it did not
  // come. Called once, by the window.
  bool WaitOrAbandon(std::chrono::milliseconds limit);

  // The workers abandoned and still running, program-wide.
  static int Abandoned();

 private:
  std::mutex lock_;
  std::condition_variable ended_;
  bool done_ = false;
  bool abandoned_ = false;
};
