#include "sim/tq4410.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>

#include "sim/builders/mdm_builders.h"
#include "sim/infineon_modem.h"
#include "sim/model_phone.h"
#include "sim/nvidia_loader.h"
#include "sim/omap_agent.h"
#include "sim/phone_control_model.h"

namespace phonesim {
namespace {

constexpr uint64_t kSector = 512;

std::array<uint8_t, PhoneControlModel::kPidSize> SamplePid() {
  std::array<uint8_t, PhoneControlModel::kPidSize> pid{};
  const char* text = "TQ4410SIM00000001";
  for (size_t i = 0; text[i] != '\0'; ++i) pid[i] = static_cast<uint8_t>(text[i]);
  return pid;
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

std::string Describe(const std::string& name, uint64_t bytes, const char* where, uint64_t at,
                     const char* verdict) {
  char text[256];
  std::snprintf(text, sizeof text, "%-20s %10llu bytes  %s %s  %s", name.c_str(),
                static_cast<unsigned long long>(bytes), where, Hex(at).c_str(), verdict);
  return text;
}

// Whether `data` begins with the file's bytes and holds only zeros after them (the last block
// of a partition is padded to whole sectors).
bool MatchesFile(const std::string& path, uint64_t fileBytes, const std::vector<uint8_t>& data) {
  if (data.size() < fileBytes) return false;
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chunk(1 << 20);
  for (uint64_t at = 0; at < fileBytes;) {
    const auto n = static_cast<std::streamsize>(std::min<uint64_t>(chunk.size(), fileBytes - at));
    if (!in.read(chunk.data(), n)) return false;
    if (!std::equal(chunk.begin(), chunk.begin() + n, data.begin() + static_cast<long>(at),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; })) {
      return false;
    }
    at += static_cast<uint64_t>(n);
  }
  return std::all_of(data.begin() + static_cast<long>(fileBytes), data.end(),
                     [](uint8_t b) { return b == 0; });
}

const OmapAgent::Partition* PartitionAt(const OmapAgent& agent, uint32_t address) {
  for (const OmapAgent::Partition& p : agent.Partitions()) {
    if (p.address == address) return &p;
  }
  return nullptr;
}

}  // namespace

void Verification::Add(bool good, const std::string& line) {
  ok = ok && good;
  lines.push_back(line);
}

std::string Verification::Verdict() const {
  size_t bad = 0;
  for (const std::string& line : lines)
    bad += line.find("DIFFERS") != std::string::npos || line.find("MISSING") != std::string::npos;
  char text[200];
  if (ok) {
    std::snprintf(text, sizeof text,
                  "Verification passed: %zu images, %llu bytes, identical byte for byte",
                  lines.size(), static_cast<unsigned long long>(bytesCompared));
  } else {
    std::snprintf(text, sizeof text, "Verification FAILED: %zu of %zu images do not match", bad,
                  lines.size());
  }
  return text;
}

PortIdentity Tq4410Identity() {
  return PluggedIn({"Zelco Mobile USB Modem", 0x1d6b, 0x0106, 0}, NextUsbLocation());
}

SimulatedTq4410::SimulatedTq4410(const Tq4410Options& options) : keepData_(options.keepEmmcData) {
  auto model = std::make_unique<ModelPhone>();
  agent_ = &model->Add(std::make_unique<OmapAgent>());
  agent_->Emmc().SetRate(options.emmcBytesPerSecond);
  agent_->KeepPartitionData(keepData_);
  agent_->Emmc().SetDiscard(!keepData_);
  modem_ = &model->Add(std::make_unique<InfineonModem>());
  control_ = &model->Add(std::make_unique<PhoneControlModel>("TQ4410", SamplePid()));
  phone_ = std::make_unique<Phone>(std::move(model), options.identity);
}

SimulatedTq4410::~SimulatedTq4410() { phone_->Stop(); }

void SimulatedTq4410::VerifyPartition(const builders::SampleFirmware& firmware,
                                      const builders::SamplePartition& part, Verification& v) {
  const OmapAgent::Partition* got = PartitionAt(*agent_, part.start);
  if (got == nullptr) {
    v.Add(false, Describe(part.file, part.fileBytes, "eMMC", part.start, "MISSING"));
    return;
  }
  const uint64_t padded = (part.fileBytes + kSector - 1) / kSector * kSector;
  const bool good = keepData_ ? MatchesFile(firmware.PathOf(part.file), part.fileBytes, got->data)
                              : got->received == padded;
  if (good) v.bytesCompared += keepData_ ? part.fileBytes : 0;
  v.Add(good, Describe(part.file, part.fileBytes, "eMMC", part.start,
                       !good       ? "DIFFERS"
                       : keepData_ ? "identical"
                                   : "length matches"));
}

Verification SimulatedTq4410::VerifyNormalDownload(const builders::SampleFirmware& firmware) {
  Verification v;
  phone_->WithPersonality([&](Personality&) {
    for (const builders::SamplePartition& part : firmware.Partitions()) {
      if (!part.file.empty()) VerifyPartition(firmware, part, v);
    }
    for (size_t i = 0; i < firmware.ModemImages().size(); ++i) {
      const builders::SampleModemImage& m = firmware.ModemImages()[i];
      const bool good = modem_->Store().Read(m.flashAddress, m.codeBytes) == firmware.ModemCode(i);
      if (good) v.bytesCompared += m.codeBytes;
      v.Add(good,
            Describe(m.file, m.codeBytes, "NOR ", m.flashAddress, good ? "identical" : "DIFFERS"));
    }
  });
  return v;
}

Verification SimulatedTq4410::VerifyFactoryDownload(const builders::FactorySample& firmware) {
  Verification v;
  phone_->WithPersonality([&](Personality&) {
    const auto& parts = agent_->Partitions();
    for (size_t i = 0; i < firmware.EmmcImages(); ++i) {
      const std::vector<uint8_t> want = firmware.Emmc().Image(i);
      const std::string name = "eMMC image " + std::to_string(i + 1);
      if (i >= parts.size()) {
        v.Add(false, Describe(name, want.size(), "eMMC", 0, "MISSING"));
        continue;
      }
      const bool good = keepData_ ? parts[i].data == want : parts[i].received == want.size();
      if (good) v.bytesCompared += want.size();
      v.Add(good,
            Describe(name, want.size(), "eMMC", parts[i].address, good ? "identical" : "DIFFERS"));
    }
    for (const builders::IfxComponent& c : firmware.Components()) {
      const bool good = modem_->Store().Read(c.flashAddress, c.code.size()) == c.code;
      if (good) v.bytesCompared += c.code.size();
      v.Add(good, Describe(c.name, c.code.size(), "NOR ", c.flashAddress,
                           good ? "identical" : "DIFFERS"));
    }
  });
  return v;
}

uint64_t SimulatedTq4410::EmmcBytesReceived() {
  uint64_t total = 0;
  phone_->WithPersonality([&](Personality&) {
    for (const OmapAgent::Partition& p : agent_->Partitions()) total += p.received;
  });
  return total;
}

int SimulatedTq4410::Resets() {
  int resets = 0;
  phone_->WithPersonality([&](Personality&) { resets = control_->Resets(); });
  return resets;
}

SimulatedMdmTq4410::SimulatedMdmTq4410(const std::string& description, const UsbLocation& usb) {
  auto model = std::make_shared<ModelPhone>();
  nvidia_ = &model->Add(std::make_unique<NvidiaLoader>());
  model->Add(std::make_unique<PhoneControlModel>("TQ4410", SamplePid()));
  apLoader_ = model;
  QualcommHandset::Options options;
  if (!description.empty()) options.diagPort.description = description;
  if (!usb.path.empty() || !usb.serial.empty()) options.usb = usb;
  options.apLoader = [loader = apLoader_] {
    return std::make_unique<builders::SharedPersonality>(loader);
  };
  handset_ = std::make_unique<QualcommHandset>(std::move(options));
}

SimulatedMdmTq4410::~SimulatedMdmTq4410() = default;

Verification SimulatedMdmTq4410::VerifyApplicationProcessor(const builders::MdmSample& firmware) {
  // Retiring the handset joins every thread that served a port, so the loader is ours alone.
  handset_.reset();
  Verification v;
  const auto& parts = nvidia_->FilePartitions();
  for (size_t k = 0; k < firmware.PresentEntries().size(); ++k) {
    const std::vector<uint8_t> want = firmware.Ap().Image(firmware.PresentEntries()[k]);
    const std::string name = "AP partition " + std::to_string(k + 1);
    const bool good = k < parts.size() && parts[k].Bytes() == want;
    if (good) v.bytesCompared += want.size();
    v.Add(good, Describe(name, want.size(), "eMMC", k, good ? "identical" : "DIFFERS"));
  }
  return v;
}

}  // namespace phonesim
