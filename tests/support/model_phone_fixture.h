#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "corvane/flash/basic_flash.h"
#include "corvane/protocol/misc_util_comm.h"
#include "sim/model_phone.h"
#include "sim/phone.h"
#include "sim/phone_control_model.h"
#include "support/recording_window.h"

namespace testing_support {

// A simulated phone built of chip models, a link opened on it and a flash object reporting to a
// recording window. Add the chips before Start().
struct ModelPhoneFixture {
  static constexpr uint32_t kTimeout = 300;

  ModelPhoneFixture() : model(std::make_unique<phonesim::ModelPhone>()) {}
  ~ModelPhoneFixture() {
    link.Close();
    if (phone) phone->Stop();
  }

  template <typename Chip>
  Chip& Add(std::unique_ptr<Chip> chip) {
    return model->Add(std::move(chip));
  }

  phonesim::PhoneControlModel& AddControl(const std::string& name = "TQ4410") {
    std::array<uint8_t, phonesim::PhoneControlModel::kPidSize> pid{};
    for (size_t i = 0; i < pid.size(); ++i) pid[i] = static_cast<uint8_t>('A' + i % 26);
    return Add(std::make_unique<phonesim::PhoneControlModel>(name, pid));
  }

  void Start() {
    phone = std::make_unique<phonesim::Phone>(std::move(model));
    link.SetParentHandle(&window);
    if (!link.SetComPort(phone->PortNumber())) {
      throw std::runtime_error("cannot open the simulated phone's port " + phone->Path());
    }
    flash.SetParentHandle(&window);
    flash.SetDefaultTimeout(kTimeout);
  }

  // Runs `fn` while the phone handles nothing, so its chips can be read safely.
  template <typename Fn>
  void Inspect(Fn fn) {
    phone->WithPersonality([&](phonesim::Personality&) { fn(); });
  }

  std::unique_ptr<phonesim::ModelPhone> model;
  std::unique_ptr<phonesim::Phone> phone;
  RecordingWindow window;
  CMiscUtilComm link;
  CBasicFlash flash;
};

}  // namespace testing_support
