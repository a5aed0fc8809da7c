#include "sim/private_announcements.h"

#include "corvane/ports/published_ports.h"

namespace phonesim {

PrivateAnnouncements::PrivateAnnouncements() : refusal_(ports::BeginPrivateRun()) {}

PrivateAnnouncements::~PrivateAnnouncements() {
  if (refusal_.empty()) ports::EndPrivateRun();
}

}  // namespace phonesim
