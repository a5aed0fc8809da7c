#pragma once

#include <functional>
#include <string>

// A bench PC must not suspend while a phone is being written: a half-written boot loader leaves
// the phone dead. Every run in progress holds one Hold; while any exists the system is asked
// not to sleep, through a backend that the program installs (the platform's, SystemBackend, in
// the Qt host).
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

// The system's own inhibition (platform::SleepInhibit) as a backend. When the system cannot be
// kept awake (no system bus in a container or on CI), runs go on and `warn` is given the line
// that says so, once for the backend's life.
std::function<void(bool inhibit)> SystemBackend(std::function<void(const std::string&)> warn);

}  // namespace sleep_inhibition
