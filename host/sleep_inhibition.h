#pragma once

#include <functional>

// A bench PC must not suspend while a phone is being written: a half-written boot loader leaves
// the phone dead. Every run in progress holds one Hold; while any exists the system is asked
// not to sleep, through a backend that the program installs (logind in the Qt host).
namespace sleep_inhibition {

// Held while a run is in progress; while any hold exists the system is asked not to sleep.
class Hold {
 public:
  Hold();
  ~Hold();
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
};

// The backend: called with true when the first hold is taken and false when the last one ends.
// Without a backend holds only count. GUI thread only.
void SetBackend(std::function<void(bool inhibit)> backend);
int Holds();  // how many holds exist (for tests)

}  // namespace sleep_inhibition
