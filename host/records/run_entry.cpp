#include "host/records/run_entry.h"

#ifndef TARVEX_NO_RECORDS
#include <openssl/evp.h>
#endif

#include <cstdio>
#include <filesystem>

#include "corvane/platform/byte_order.h"
#include "corvane/platform/path.h"
#include "corvane/platform/process.h"

namespace records {
namespace {

// The host's own buffers go through libcrypto, which uses the processor's SHA instructions: a
// gigabyte of images must not hold up the run it precedes.
std::string HexDigest(const uint8_t* data, size_t length) {
#ifdef TARVEX_NO_RECORDS
  // Nothing is recorded: nothing is hashed.
  (void)data;
  (void)length;
  return "";
#else
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(data, length, digest, &size, EVP_sha256(), nullptr) != 1) return "";
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0f];
  }
  return text;
#endif
}

uint64_t SizeOf(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(platform::PathOf(path), ec);
  return ec ? 0 : size;
}

}  // namespace

Phone PhoneOf(const SerialPortEntry& port) {
  Phone p;
  p.port = "COM" + std::to_string(port.portNumber) +
           (port.devicePath.empty() ? "" : " (" + port.devicePath + ")");
  if (port.usbVendor != 0 || port.usbProduct != 0) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", port.usbVendor, port.usbProduct);
    p.usbIds = ids;
  }
  p.usbPath = port.usbPath;
  p.usbSerial = port.usbSerial;
  return p;
}

bool SimulatedPort(const std::string& devicePath) { return devicePath.rfind("/dev/pts/", 0) == 0; }

void HashImages(RunStart& start, const std::vector<uint8_t*>& images) {
  start.digests.assign(images.size(), {});
  for (size_t i = 0; i < images.size(); ++i) {
    if (images[i] == nullptr) continue;
    const uint64_t length = bytes::LoadLe32(images[i]);
    start.digests[i] = {HexDigest(images[i] + 4, length), length};
  }
}

Record Started(const RunStart& s) {
  Record r;
  r.id = NewId();
  r.startMs = NowMs();
  r.station = s.station;
  r.job = s.job;
  r.user = platform::UserName();
  r.tool = s.tool;
  r.toolVersion = s.toolVersion;
  r.plugin = s.plugin;
  r.pluginVersion = s.pluginVersion;
  r.mode = s.mode;
  r.erase = s.erase;
  r.simulated = s.simulated;
  r.phone = s.phone;
  for (size_t i = 0; i < s.files.size(); ++i) {
    if (s.files[i].empty()) continue;
    FileRun f;
    f.path = s.files[i];
    f.fileIndex = static_cast<int>(i);
    f.size = SizeOf(f.path);
    if (i < s.digests.size() && !s.digests[i].sha256.empty()) {
      f.sha256 = s.digests[i].sha256;
      f.hashedBytes = s.digests[i].bytes;
      f.partial = f.hashedBytes < f.size;
    }
    r.files.push_back(std::move(f));
  }
  return r;
}

void AddStep(Record& record, const StepResult& step) {
  FileRun* line = nullptr;
  for (FileRun& f : record.files) {
    if (step.fileIndex != notify::kNoFile && f.fileIndex == step.fileIndex && f.result.empty()) {
      line = &f;
      break;
    }
  }
  if (line == nullptr) {
    FileRun f;
    f.fileIndex = step.fileIndex;
    for (const FileRun& known : record.files) {
      if (known.fileIndex == step.fileIndex && step.fileIndex != notify::kNoFile) {
        f.path = known.path;
        f.size = known.size;
      }
    }
    record.files.push_back(f);
    line = &record.files.back();
  }
  line->stepKind = StepKindWord(step.kind);
  line->ackedBytes = step.ackedBytes;
  line->durationMs = step.durationMs;
  line->result = step.succeeded ? kPass : kFail;
  if (!step.sha256.empty()) {
    line->sha256 = step.sha256;
    line->hashedBytes = step.hashedBytes;
    line->partial = step.partial;
  }
}

const char* VerdictWord(notify::Verdict verdict) {
  switch (verdict) {
    case notify::Verdict::kSucceeded:
      return kPass;
    case notify::Verdict::kCancelled:
      return kCancelled;
    case notify::Verdict::kRefused:
      return kRefused;
    case notify::Verdict::kFailed:
    case notify::Verdict::kRunning:
      break;
  }
  return kFail;
}

const char* StepKindWord(notify::StepKind kind) {
  switch (kind) {
    case notify::StepKind::kConfiguration:
      return "configuration";
    case notify::StepKind::kErase:
      return "erase";
    case notify::StepKind::kPartition:
      return "partition";
    case notify::StepKind::kModemImage:
      return "modem image";
    case notify::StepKind::kFactoryImage:
      return "factory image";
    case notify::StepKind::kNandImage:
      return "NAND image";
    case notify::StepKind::kUpload:
      return "upload";
  }
  return "step";
}

void Ended(Record& record, const notify::Judgement& judgement, int exportResult,
           std::vector<std::string> unwritten, std::vector<std::string> lines) {
  record.state = kEnded;
  record.endMs = NowMs();
  record.verdict = VerdictWord(judgement.verdict);
  record.reason = judgement.reason;
  record.exportResult = exportResult;
  record.unwritten = std::move(unwritten);
  record.lines = std::move(lines);
}

}  // namespace records
