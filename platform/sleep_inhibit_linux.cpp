// Keeping the system awake on Linux: logind's Inhibit, called on the system bus, returns a
// descriptor that holds the inhibition until every copy of it is closed. The bus connection
// is needed only for the call: this process keeps nothing but its own copy of the descriptor.

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <memory>
#include <system_error>

#include "corvane/platform/sleep_inhibit.h"

namespace platform {
namespace {

// logind answers at once; a bus that does not must not hold up the start of a run.
constexpr uint64_t kCallTimeoutUs = 2'000'000;

struct BusClose {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

std::string ErrorText(int negativeErrno) {
  return std::error_code(-negativeErrno, std::generic_category()).message();
}

// logind's answer to Inhibit, or null with the reason in `problem`.
Message CallInhibit(sd_bus* bus, const std::string& why, std::string& problem) {
  sd_bus_error error{};  // SD_BUS_ERROR_NULL, which is a C compound literal
  sd_bus_message* reply = nullptr;
  const int r = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                   "org.freedesktop.login1.Manager", "Inhibit", &error, &reply,
                                   "ssss", "sleep:idle", "Tarvex", why.c_str(), "block");
  if (r < 0) {
    problem = "no logind inhibitor: " +
              (error.message != nullptr ? std::string(error.message) : ErrorText(r));
  }
  sd_bus_error_free(&error);
  return Message(reply);
}

// This process's own copy of the descriptor logind sent (the reply's goes with the reply).
int KeepDescriptor(sd_bus_message* reply, std::string& problem) {
  int fd = -1;
  const int r = sd_bus_message_read(reply, "h", &fd);
  if (r < 0) {
    problem = "no logind inhibitor: an unexpected answer (" + ErrorText(r) + ")";
    return -1;
  }
  const int kept = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (kept < 0) problem = "no logind inhibitor: " + ErrorText(-errno);
  return kept;
}

}  // namespace

SleepInhibit::SleepInhibit(const std::string& why) {
  sd_bus* raw = nullptr;
  const int r = sd_bus_open_system(&raw);
  if (r < 0) {
    problem_ = "no system bus: " + ErrorText(r);
    return;
  }
  const Bus bus(raw);
  sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUs);
  const Message reply = CallInhibit(bus.get(), why, problem_);
  if (reply) handle_ = KeepDescriptor(reply.get(), problem_);
}

// Closing this process's copy is all logind waits for.
SleepInhibit::~SleepInhibit() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace platform
