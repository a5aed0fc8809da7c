#pragma once

#include <string>

namespace phonesim {

// While one lives, the phones of this process announce their ports to this process only: the
// phones of a run are never taken by another run. A stand-alone simulator makes none, so that
// every program of the user finds its phones.
class PrivateAnnouncements {
 public:
  PrivateAnnouncements();
  ~PrivateAnnouncements();
  PrivateAnnouncements(const PrivateAnnouncements&) = delete;
  PrivateAnnouncements& operator=(const PrivateAnnouncements&) = delete;

  // Why the phones' ports cannot be announced at all ("" when they can).
  const std::string& Refusal() const { return refusal_; }

 private:
  std::string refusal_;
};

}  // namespace phonesim
