#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The Infineon builders first: their default parts call Pattern(n, seed) with int arguments,
// which the other builders' Pattern(size_t, uint32_t) would make ambiguous if declared before.
#include "sim/builders/infineon_builders.h"
// (keep this order)
#include "sim/builders/ap_builders.h"

// Complete firmware sets for a simulated TQ4410, written as files the way a release ships them:
// what the demo, the command-line tests and the benchmarks download. Every byte follows a
// seeded pattern, so what a phone must hold afterwards can be produced again for comparison.
namespace phonesim::builders {

// --- normal download: configuration, eMMC partition images, Infineon images -------------------

struct SamplePartition {
  std::string name;  // in the configuration
  std::string file;  // bare file name; empty for a partition without an image (userdata)
  uint64_t fileBytes = 0;
  uint32_t start = 0;  // byte address in the eMMC (the sample's device counts bytes)
  uint32_t size = 0;   // bytes
  uint32_t seed = 0;
};

struct SampleModemImage {
  std::string file;
  uint32_t flashAddress = 0;  // where the NOR must hold the code
  size_t codeBytes = 0;
  uint8_t seed = 0;
};

struct SampleFirmwareOptions {
  uint64_t bootBytes = (2u << 20) + 1000;  // not a whole number of sectors
  uint64_t recoveryBytes = (1u << 20) + 77;
  uint64_t systemBytes = (16u << 20) + 333;
  size_t modemCodeBytes = 1u << 20;  // the main modem code; the others are smaller
};

class SampleFirmware {
 public:
  // Writes the set into `directory` (which must exist); throws std::runtime_error when a file
  // cannot be written.
  static SampleFirmware Write(const std::string& directory,
                              const SampleFirmwareOptions& options = {});

  const std::string& Directory() const { return directory_; }
  std::string PathOf(const std::string& file) const;
  // Every file of the set: the configuration, the partition images, the modem images.
  std::vector<std::string> Files() const;
  std::string ConfigText() const;
  const std::vector<SamplePartition>& Partitions() const { return partitions_; }
  const std::vector<SampleModemImage>& ModemImages() const { return modem_; }
  // The code that the NOR must hold for modem image i.
  Bytes ModemCode(size_t i) const;
  // Bytes of all files together.
  uint64_t TotalBytes() const;

 private:
  std::string directory_;
  std::vector<SamplePartition> partitions_;
  std::vector<SampleModemImage> modem_;
};

// --- ROM-copy (factory) download: an Infineon factory file and an OMAP eMMC factory file -------

struct FactorySampleOptions {
  std::vector<uint32_t> partitionSectors = {4096, 2048 + 3, 1};  // images of the eMMC file
  size_t modemCodeBytes = 256u << 10;
};

class FactorySample {
 public:
  static FactorySample Write(const std::string& directory,
                             const FactorySampleOptions& options = {});

  const std::string& CpPath() const { return cpPath_; }  // Infineon factory file (.fls)
  const std::string& ApPath() const { return apPath_; }  // OMAP eMMC factory file (.bin)
  // The components that the modem writes (named so that each has a writing rule).
  const std::vector<IfxComponent>& Components() const { return components_; }
  const OmapFactoryBuilder& Emmc() const { return emmc_; }
  size_t EmmcImages() const { return emmcImages_; }
  uint64_t TotalBytes() const;

 private:
  std::string cpPath_;
  std::string apPath_;
  std::vector<IfxComponent> components_;
  OmapFactoryBuilder emmc_;
  size_t emmcImages_ = 0;
};

// --- MDM download: the application processor's NVIDIA factory file ----------------------------

class MdmSample {
 public:
  static MdmSample Write(const std::string& directory);

  const std::string& ApPath() const { return apPath_; }
  const NvidiaFactoryBuilder& Ap() const { return ap_; }
  // The entries of the file that carry a partition, in file order.
  const std::vector<size_t>& PresentEntries() const { return present_; }
  uint64_t TotalBytes() const;

 private:
  std::string apPath_;
  NvidiaFactoryBuilder ap_;
  std::vector<size_t> present_;
};

}  // namespace phonesim::builders
