#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/builders/sample_firmware.h"
#include "sim/phone.h"
#include "sim/qualcomm_handset.h"

// Whole simulated TQ4410 phones as a host meets them on a USB port, and the byte-for-byte check
// of what a download left in them. The demo, the command-line tests and the benchmarks use these.
namespace phonesim {

class OmapAgent;
class InfineonModem;
class PhoneControlModel;
class NvidiaLoader;

// What a download left in a phone compared with the firmware it was given.
struct Verification {
  bool ok = true;
  uint64_t bytesCompared = 0;
  std::vector<std::string> lines;  // one per image, then the verdict

  void Add(bool good, const std::string& line);
  // "Verification passed: ..." or "Verification FAILED: ...".
  std::string Verdict() const;
};

// How a simulated TQ4410 shows itself on its USB port: a description the name filter accepts,
// in a USB socket of its own.
PortIdentity Tq4410Identity();

struct Tq4410Options {
  PortIdentity identity = Tq4410Identity();
  uint64_t emmcBytesPerSecond = 0;  // 0: unlimited
  // False: the eMMC only counts what it receives (benchmarks with large partitions); the
  // verification then checks lengths, not contents.
  bool keepEmmcData = true;
};

// A TQ4410 in its download mode: the OMAP download agent with its eMMC, the Infineon modem with
// its NOR flash, and the loaders' shared commands (resets, factory information).
class SimulatedTq4410 {
 public:
  explicit SimulatedTq4410(const Tq4410Options& options = {});
  ~SimulatedTq4410();
  SimulatedTq4410(const SimulatedTq4410&) = delete;
  SimulatedTq4410& operator=(const SimulatedTq4410&) = delete;

  Phone& Device() { return *phone_; }
  const std::string& Path() const { return phone_->Path(); }
  uint8_t PortNumber() const { return phone_->PortNumber(); }

  // The eMMC partitions and the modem images of a normal download.
  Verification VerifyNormalDownload(const builders::SampleFirmware& firmware);
  // The OMAP factory file's images and the Infineon factory file's components.
  Verification VerifyFactoryDownload(const builders::FactorySample& firmware);
  // Payload bytes the eMMC took.
  uint64_t EmmcBytesReceived();
  int Resets();

 private:
  void VerifyPartition(const builders::SampleFirmware& firmware,
                       const builders::SamplePartition& partition, Verification& v);

  bool keepData_;
  OmapAgent* agent_ = nullptr;
  InfineonModem* modem_ = nullptr;
  PhoneControlModel* control_ = nullptr;
  std::unique_ptr<Phone> phone_;
};

// A TQ4410 seen through its Qualcomm modem first (the MDM download): the modem's diagnostic
// port, its download mode, then the application processor's NVIDIA boot loader.
class SimulatedMdmTq4410 {
 public:
  // `description`: how the modem's diagnostic port, the one a host looks for first, announces
  // itself ("" as the maker's phones do). Its other ports keep theirs: the download finds them
  // by those.
  // `usb`: where it is plugged in (empty: a socket of its own).
  explicit SimulatedMdmTq4410(const std::string& description = "", const UsbLocation& usb = {});
  ~SimulatedMdmTq4410();
  SimulatedMdmTq4410(const SimulatedMdmTq4410&) = delete;
  SimulatedMdmTq4410& operator=(const SimulatedMdmTq4410&) = delete;

  QualcommHandset& Handset() { return *handset_; }
  // The port of the phone's current appearance; 0 while it changes over or once it is retired.
  uint8_t PortNumber() const { return handset_ ? handset_->CurrentPort() : 0; }

  // Retires the phone (every port goes away), then compares the application processor's
  // partitions with the file's images. Call it once, after the download.
  Verification VerifyApplicationProcessor(const builders::MdmSample& firmware);

 private:
  std::shared_ptr<Personality> apLoader_;  // outlives the port it serves, for the comparison
  NvidiaLoader* nvidia_ = nullptr;
  std::unique_ptr<QualcommHandset> handset_;
};

}  // namespace phonesim
