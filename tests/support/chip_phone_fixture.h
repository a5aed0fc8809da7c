#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "sim/builders/ap_builders.h"
#include "sim/phone.h"
#include "support/host_side.h"

namespace testing_support {

// A simulated phone made of one chip model, with the host side opened on it.
template <typename Chip>
struct ChipPhoneFixture : HostSide {
  template <typename... Args>
  explicit ChipPhoneFixture(Args&&... args)
      : sim(phonesim::builders::MakeChipPhone<Chip>(std::forward<Args>(args)...)) {
    Open(sim.phone->PortNumber());
  }
  ~ChipPhoneFixture() {
    link.Close();
    sim.phone->Stop();
  }

  // Runs `fn` on the chip under the phone's lock, which also orders the read after its writes.
  template <typename Fn>
  auto WithChip(Fn fn) {
    std::remove_cvref_t<std::invoke_result_t<Fn, Chip&>> out{};
    sim.phone->WithPersonality([&](phonesim::Personality&) { out = fn(*sim.chip); });
    return out;
  }
  // The command codes the phone received, in order.
  std::vector<uint8_t> Commands() const {
    std::vector<uint8_t> out;
    for (const auto& r : sim.phone->Requests()) out.push_back(r.body.empty() ? 0 : r.body[0]);
    return out;
  }
  std::vector<phonesim::TranscriptEntry> Requests() const { return sim.phone->Requests(); }
  void Inject(phonesim::FaultKind kind, int command, unsigned skip = 0) {
    sim.phone->InjectFault(phonesim::Fault{.kind = kind, .command = command, .skip = skip});
  }

  phonesim::builders::ChipPhone<Chip> sim;
};

}  // namespace testing_support
