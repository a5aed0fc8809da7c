// Infineon baseband: boot ROM -> PSI -> EBL start-up, the element image, flash programming and
// the factory download.

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "corvane/flash/basic_flash.h"
#include "corvane/platform/byte_order.h"
#include "corvane/platform/clock.h"
#include "corvane/platform/notify.h"
#include "corvane/plugin/exports.h"
#include "corvane/protocol/step_digest.h"
#include "flash/boot_header.h"
#include "flash/ifx_image.h"

namespace {

constexpr size_t kBlock2k = 2048;
constexpr size_t kBlock64k = 65536;
// The EBL checks each 2048-byte block against the sum of its data bytes plus the data length
// plus the block size plus 4.
constexpr uint32_t kBlockCheckBias = kBlock2k + 4;
// A fixed pause the EBL relies on before the first 64 KiB block.
constexpr uint32_t kWrite64kPauseMs = 1000;
// The caller's "erase the modem's flash" option bit: sequence A then erases all, C leaves its own
// erase out.
constexpr uint32_t kFlagEraseAll = kEraseCp;

int TextThenFail(CBasicFlash& f, const char* text) {
  f.SendText(text);
  f.SendCode(notify::kProgressFailed);
  return 0;
}

int FailThenText(CBasicFlash& f, const char* text) {
  f.SendCode(notify::kProgressFailed);
  f.SendText(text);
  return 0;
}

int Refuse(CBasicFlash& f, const std::string& why) { return TextThenFail(f, why.c_str()); }

// A bare command. Anything but an acknowledgement is a failure: a refusal or a time-out (whose
// text has been shown already) and also an answer that failed its check, which could as well
// have been a refusal.
bool Exchange(CMiscUtilComm* comm, const BootHeader& h, uint32_t timeoutMs) {
  return comm->AsyncTxRxEx(h.data(), nullptr, BootHeader::kLength, timeoutMs) == kTxOk;
}

// A command whose payload follows its header; the header announces the payload's length.
bool ExchangeWith(CMiscUtilComm* comm, BootHeader h, const uint8_t* payload, size_t length,
                  uint32_t timeoutMs) {
  h.PayloadLength(static_cast<uint32_t>(length));
  return comm->AsyncTxRxExFile(h.data(), nullptr, BootHeader::kLength, payload, length,
                               timeoutMs) == kTxOk;
}

int BareStep(CBasicFlash& f, CMiscUtilComm* comm, uint8_t command, const char* failure) {
  return Exchange(comm, BootHeader(command), f.GetDefaultTimeout()) ? 1 : FailThenText(f, failure);
}

// --- where the code comes from --------------------------------------------------------------

// The code of a download: sent straight from the image in memory, or read from the factory
// file a block at a time so that memory does not grow with the file.
class CodeSource {
 public:
  virtual ~CodeSource() = default;
  // The next `n` code bytes; null when they cannot be read.
  virtual const uint8_t* Next(size_t n) = 0;
};

class MemoryCode final : public CodeSource {
 public:
  explicit MemoryCode(const uint8_t* at) : at_(at) {}
  const uint8_t* Next(size_t n) override {
    const uint8_t* block = at_;
    at_ += n;
    return block;
  }

 private:
  const uint8_t* at_;
};

class FileCode final : public CodeSource {
 public:
  FileCode(ifx::ByteSource& file, uint64_t at) : file_(file), at_(at) {}
  const uint8_t* Next(size_t n) override {
    if (buffer_.size() < n) buffer_.resize(n);
    if (!file_.Read(at_, buffer_.data(), n)) return nullptr;
    at_ += n;
    return buffer_.data();
  }

 private:
  ifx::ByteSource& file_;
  uint64_t at_;
  std::vector<uint8_t> buffer_;  // one block
};

// Refuses code that the descriptor places outside the image buffer (its length word gives its
// size); code of length 0 reads nothing and always fits.
bool ImageCodeFits(CBasicFlash& f, const uint8_t* image) {
  const uint64_t length = f.m_Infineon.codeDesc[4];
  if (length == 0) return true;
  const char* why = "No image to download from";
  if (image != nullptr) {
    const uint64_t size = 4 + uint64_t{bytes::LoadLe32(image)};
    const uint64_t offset = f.m_Infineon.codeDataOffset;
    if (offset <= size && length <= size - offset) return true;
    why = "Code points outside the image";
  }
  TextThenFail(f, why);
  return false;
}

// Sends the code in blocks of at most `blockSize`, counting the descriptor's code length down;
// progress is the share sent so far.
template <typename SendBlock>
int SendCode(CBasicFlash& f, CodeSource& code, size_t blockSize, SendBlock send) {
  uint32_t& remaining = f.m_Infineon.codeDesc[4];
  const uint64_t total = remaining;
  uint64_t sent = 0;
  f.Report().AddToPlan(total);
  while (remaining > 0) {
    const size_t n = std::min<size_t>(remaining, blockSize);
    const uint8_t* data = code.Next(n);
    if (data == nullptr) return TextThenFail(f, "cannot read the code from the factory file");
    if (!send(data, n)) return TextThenFail(f, "error!");
    remaining -= static_cast<uint32_t>(n);
    sent += n;
    f.Report().StepAdvance(n);
    f.SendCode(static_cast<intptr_t>(sent * 100 / total));
  }
  return 1;
}

uint16_t BlockCheck(const uint8_t* data, size_t n) {
  const uint32_t sum = CBasicFlash::IFX_CheckSumB(data, static_cast<uint16_t>(n));
  return static_cast<uint16_t>(sum + n + kBlockCheckBias);
}

int Download2k(CBasicFlash& f, CMiscUtilComm* comm, CodeSource& code) {
  std::vector<uint8_t> staging(kBlock2k, 0xFF);  // only the last, short block goes through it
  return SendCode(f, code, kBlock2k, [&](const uint8_t* data, size_t n) {
    const uint8_t* payload = data;
    if (n < kBlock2k) {
      std::memcpy(staging.data(), data, n);
      payload = staging.data();
    }
    BootHeader h(boot_cmd::kIfxWrite2k);
    h.U16(2, BlockCheck(data, n)).U16(4, static_cast<uint16_t>(n));
    return ExchangeWith(comm, h, payload, kBlock2k, f.GetDefaultTimeout());
  });
}

int Download64k(CBasicFlash& f, CMiscUtilComm* comm, CodeSource& code) {
  return SendCode(f, code, kBlock64k, [&](const uint8_t* data, size_t n) {
    return ExchangeWith(comm, BootHeader(boot_cmd::kIfxWrite64k), data, n,
                        2 * f.GetDefaultTimeout());
  });
}

// Start B, flash address, the code in 2048-byte blocks, end.
int Program2k(CBasicFlash& f, CMiscUtilComm* comm, CodeSource& code) {
  return f.IFXReqStartB(comm) && f.IFXReqFlashSetAddress(comm) && Download2k(f, comm, code) &&
                 f.IFXReqEnd(comm)
             ? 1
             : 0;
}

// --- what the element walk found ----------------------------------------------------------

bool TakeLoader(ifx::ByteSource& source, const ifx::LoaderDesc& desc,
                uint32_t (&words)[ifx::kLoaderDescWords], std::vector<uint8_t>& image) {
  std::copy(desc.words.begin(), desc.words.end(), words);
  image.resize(desc.size);  // a later, larger loader grows the buffer
  return source.Read(desc.at, image.data(), desc.size);
}

ifx::Refusal TakeLoaders(CBasicFlash& f, ifx::ByteSource& source, const ifx::Layout& layout) {
  const bool ok = (!layout.psi ||
                   TakeLoader(source, *layout.psi, f.m_Infineon.psiDesc, f.m_Infineon.psiImage)) &&
                  (!layout.ebl ||
                   TakeLoader(source, *layout.ebl, f.m_Infineon.eblDesc, f.m_Infineon.eblImage)) &&
                  (!layout.bootInfoAt || source.Read(*layout.bootInfoAt, f.m_Infineon.bootInfo,
                                                     CBasicFlash::kBootInfoSize));
  return ok ? ifx::Refusal{} : "cannot read the boot loaders from the firmware";
}

ifx::Refusal TakeCode(CBasicFlash& f, const ifx::CodeElement& code) {
  if (code.codeAt > std::numeric_limits<uint32_t>::max()) {
    return "Code lies beyond the 4 GiB that its offset can reach";
  }
  std::copy(code.desc.begin(), code.desc.end(), f.m_Infineon.codeDesc);
  f.m_Infineon.codeDataOffset = static_cast<uint32_t>(code.codeAt);
  return {};
}

ifx::Refusal TakeSecurity(CBasicFlash& f, ifx::ByteSource& source, uint64_t at) {
  return source.Read(at, f.m_Infineon.security, CBasicFlash::kSecuritySize)
             ? ifx::Refusal{}
             : "cannot read the security block from the firmware";
}

// An image buffer as a source: its length word gives the buffer's size.
ifx::MemorySource ImageSource(const uint8_t* image) {
  return ifx::MemorySource(image, image ? 4 + uint64_t{bytes::LoadLe32(image)} : 0);
}

ifx::Refusal ScanImage(const uint8_t* image, ifx::ByteSource& source, unsigned kinds,
                       ifx::Layout& layout) {
  if (image == nullptr) return "No image to read";
  ifx::Area area;
  if (ifx::Refusal why = ifx::ImageArea(source, area); !why.empty()) return why;
  return ifx::Scan(source, area, kinds, layout);
}

// --- the factory file ---------------------------------------------------------------------

// The factory file through a standard stream; nothing of it is kept in memory but the reads.
// With a step's digest, what is read goes into it as it passes. The download reads the file out
// of order (every element header before any code, a component's security block before its
// code, each record's code only on its own walk), so the digest ends at the first stretch that
// a read skips and is partial: covering the file whole would take a second read of the code.
class FileSource final : public ifx::ByteSource {
 public:
  explicit FileSource(const char* path) {
    if (path == nullptr) return;
    in_.open(path, std::ios::binary);
    if (!in_) return;
    in_.seekg(0, std::ios::end);
    const std::streamoff end = in_.tellg();
    open_ = end >= 0;
    size_ = open_ ? static_cast<uint64_t>(end) : 0;
  }
  bool IsOpen() const { return open_; }
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, uint8_t* out, size_t n) override {
    if (offset > size_ || n > size_ - offset) return false;
    if (n == 0) return true;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n));
    if (static_cast<size_t>(in_.gcount()) != n) return false;
    if (digest_) digest_->Read(offset, out, n);
    return true;
  }
  // The step that `step` reports gets the SHA-256 of what is read from here on when the source
  // goes; a file that is not open gives none.
  void DigestFor(Reporter& step) {
    if (open_ && platform::StepDigestsWanted()) digest_.emplace(step, size_);
  }

 private:
  std::ifstream in_;
  uint64_t size_ = 0;
  bool open_ = false;
  std::optional<sha256::StepDigest> digest_;
};

enum class Security { kA, kB, kC };

// How a component is written, chosen by the first rule whose text its name contains.
struct ComponentRule {
  const char* key;
  const char* start;
  const char* success;
  const char* failure;
  Security security;
  uint32_t value;
};

constexpr ComponentRule kComponentRules[] = {
    {"psi", "PSI Download start", "PSI Download success", "PSI Download fail", Security::kA, 1},
    {"slb", "SLB Download start", "SLB Download success", "SLB Download fail", Security::kB, 2},
    {"V618", "Code Download start", "Code Download success", "Code Download fail", Security::kC, 4},
    {"AENEAS", "Aeneas Download start", "Aeneas Download success", "Aeneas Download fail",
     Security::kC, 4},
};

const ComponentRule* RuleFor(const std::string& name) {
  for (const ComponentRule& rule : kComponentRules) {
    if (name.find(rule.key) != std::string::npos) return &rule;
  }
  return nullptr;
}

int RunSecurity(CBasicFlash& f, CMiscUtilComm* comm, const ComponentRule& rule, uint32_t flags) {
  switch (rule.security) {
    case Security::kA:
      return f.IFXSecuritySettingA(comm, rule.value, flags);
    case Security::kB:
      return f.IFXSecuritySettingB(comm, rule.value);
    case Security::kC:
      return f.IFXSecuritySettingC(comm, rule.value, flags);
  }
  return 0;
}

// Writes one component with the code descriptor and security block kept so far; a name that
// matches no rule is skipped.
int ProgramComponent(CBasicFlash& f, CMiscUtilComm* comm, ifx::ByteSource& file,
                     const std::string& name, uint32_t flags) {
  const ComponentRule* rule = RuleFor(name);
  if (rule == nullptr) return 1;
  f.SendText(rule->start);
  if (!RunSecurity(f, comm, *rule, flags)) {
    f.SendCode(notify::kProgressFailed);
    return 0;
  }
  FileCode code(file, f.m_Infineon.codeDataOffset);
  if (!Program2k(f, comm, code)) {
    f.SendText(rule->failure);
    return 0;
  }
  f.SendText(rule->success);
  return 1;
}

ifx::Refusal KeepComponentPart(CBasicFlash& f, ifx::ByteSource& file, const ifx::Area& area,
                               const ifx::Element& element) {
  if (element.type == ifx::kSecurity) {
    return ifx::ReadBlock(file, area, element, f.m_Infineon.security, CBasicFlash::kSecuritySize);
  }
  ifx::CodeElement code;
  ifx::Refusal why = ifx::ReadCodeElement(file, area, element, code);
  return why.empty() ? TakeCode(f, code) : why;
}

// Walks the whole file for the record's code and security elements. Every second one met since
// the last write completes a component, which is written at once; the walk then goes on.
int ProgramRecord(CBasicFlash& f, CMiscUtilComm* comm, ifx::ByteSource& file, const ifx::Area& area,
                  const ifx::LoadRecord& record, uint32_t flags) {
  ifx::ElementWalker walker(file, area);
  ifx::Element element;
  int met = 0;
  while (walker.Next(element)) {
    const bool part = element.type == ifx::kCode || element.type == ifx::kSecurity;
    if (!part || element.tag != record.id) continue;
    if (ifx::Refusal why = KeepComponentPart(f, file, area, element); !why.empty()) {
      return Refuse(f, why);
    }
    if (++met < 2) continue;
    met = 0;
    if (!ProgramComponent(f, comm, file, record.name, flags)) return 0;
  }
  // The scan before the start-up refuses a cut code or security element already; a walk that
  // meets one here must not end in success all the same.
  const std::optional<ifx::Element>& cut = walker.Cut();
  if (cut && (cut->type == ifx::kCode || cut->type == ifx::kSecurity)) {
    return Refuse(f, walker.CutRefusal());
  }
  return walker.Error().empty() ? 1 : Refuse(f, walker.Error());
}

// Every record of the load list that names a component must find a complete one (two of its
// code and security elements) in the file, and the list must name at least one: otherwise the
// download would report success for a file cut short, with nothing of it written.
ifx::Refusal CheckRecords(ifx::ByteSource& file, const ifx::Area& area,
                          const std::optional<ifx::LoadList>& list) {
  if (!list) return "The factory file has no load list: nothing to write";
  uint32_t components = 0;
  for (uint32_t i = 0; i < list->count; ++i) {
    ifx::LoadRecord record;
    if (!ifx::ReadLoadRecord(file, *list, i, record)) return "cannot read the factory file";
    if (RuleFor(record.name) == nullptr) continue;
    ifx::ElementWalker walker(file, area);
    ifx::Element element;
    int parts = 0;
    while (walker.Next(element)) {
      const bool part = element.type == ifx::kCode || element.type == ifx::kSecurity;
      if (part && element.tag == record.id) ++parts;
    }
    if (parts < 2) return "The factory file holds no code and security block for " + record.name;
    ++components;
  }
  return components > 0 ? ifx::Refusal{} : "The factory file names no component to write";
}

// Everything of the file that is checked before the phone is touched; the loaders are kept.
int CheckFactoryFile(CBasicFlash& f, FileSource& file, const char* path, ifx::Area& area,
                     ifx::Layout& layout) {
  if (!file.IsOpen()) {
    return Refuse(f, std::string("cannot open the factory file ") + (path ? path : "(none)"));
  }
  if (file.Size() > std::numeric_limits<uint32_t>::max()) {
    return TextThenFail(f, "The factory file is larger than its 32-bit offsets can address");
  }
  area = ifx::FactoryArea(file);
  ifx::Refusal why =
      ifx::Scan(file, area, ifx::kScanLoaders | ifx::kScanData | ifx::kScanLoadList, layout);
  if (why.empty()) why = CheckRecords(file, area, layout.loadList);
  if (why.empty()) why = TakeLoaders(f, file, layout);
  return why.empty() ? 1 : Refuse(f, why);
}

}  // namespace

// --- start-up -------------------------------------------------------------------------------

int CBasicFlash::PSIRAMDownload(CMiscUtilComm* comm) {
  const uint32_t size = m_Infineon.psiDesc[2];
  if (size > m_Infineon.psiImage.size()) {
    return TextThenFail(*this, "No PSI of the size its descriptor gives: extract it first");
  }
  SendText("PSI RAM writing start");
  if (!Exchange(comm, BootHeader(boot_cmd::kIfxPsiRequest), m_nDefaultTimeout)) {
    return TextThenFail(*this, "error!");
  }
  SendCode(0);
  SendCode(notify::kProgressTickerStart);
  SendText("Trying to communicate with IFX modem");
  if (!ExchangeWith(comm, BootHeader(boot_cmd::kIfxPsiImage), m_Infineon.psiImage.data(), size,
                    2 * m_nDefaultTimeout)) {
    SendCode(notify::kProgressTickerStop);
    return TextThenFail(*this, "error!");
  }
  SendText("Confirm IFX communication");
  SendCode(notify::kProgressTickerStop);
  SendCode(100);
  SendText("PSI RAM writing end");
  SendText("Start PSI RAM ");
  return 1;
}

int CBasicFlash::EBLDownload(CMiscUtilComm* comm) {
  const uint32_t size = m_Infineon.eblDesc[2];
  if (size > m_Infineon.eblImage.size()) {
    return TextThenFail(*this, "No EBL of the size its descriptor gives: extract it first");
  }
  SendText("EBL writing start");
  SendCode(0);
  SendCode(notify::kProgressTickerStart);
  if (!ExchangeWith(comm, BootHeader(boot_cmd::kIfxEblImage), m_Infineon.eblImage.data(), size,
                    2 * m_nDefaultTimeout)) {
    SendCode(notify::kProgressTickerStop);
    return TextThenFail(*this, "Start EBL error!");
  }
  SendText("Start EBL");
  SendCode(100);
  SendCode(notify::kProgressTickerStop);
  return 1;
}

// The host's own port stays at its rate: changing it is the caller's, if the link needs it.
int CBasicFlash::IFXCommSet(CMiscUtilComm* comm) {
  if (!BareStep(*this, comm, boot_cmd::kIfxCapabilities, "fail to set capabilities to be used")) {
    return 0;
  }
  SendText("Set capabilities to be used");
  SendCode(35);
  if (!BareStep(*this, comm, boot_cmd::kIfxBaud, "fail to change baudrate")) return 0;
  SendText("Baudrate Change: 115200bps ===> 3000000bps");
  SendCode(40);
  return 1;
}

int CBasicFlash::SetIFXFlashID(CMiscUtilComm* comm) {
  if (!ExchangeWith(comm, BootHeader(boot_cmd::kIfxFlashId), m_Infineon.bootInfo, kBootInfoSize,
                    m_nDefaultTimeout)) {
    return TextThenFail(*this, "Set Flash ID error!");
  }
  SendText("Set flash ID complete");
  SendCode(35);
  return 1;
}

int CBasicFlash::IFXReqCFIInfo_1(CMiscUtilComm* comm) {
  if (!BareStep(*this, comm, boot_cmd::kIfxCfi1, "fail to set Infineon CFI Information 1")) {
    return 0;
  }
  SendText("Set Infineon CFI Information 1");
  SendCode(45);
  return 1;
}

int CBasicFlash::IFXReqCFIInfo_2(CMiscUtilComm* comm) {
  if (!BareStep(*this, comm, boot_cmd::kIfxCfi2, "fail to set Infineon CFI Information 2")) {
    return 0;
  }
  SendText("Set Infineon CFI Information 2");
  SendCode(50);
  return 1;
}

int CBasicFlash::BasicIFXSetting(CMiscUtilComm* comm) {
  return PSIRAMDownload(comm) && EBLDownload(comm) && IFXCommSet(comm) && SetIFXFlashID(comm) &&
                 IFXReqCFIInfo_1(comm) && IFXReqCFIInfo_2(comm)
             ? 1
             : 0;
}

int CBasicFlash::IFXSecuritySettingA(CMiscUtilComm* comm, uint32_t /*ignored*/, uint32_t flags) {
  std::memcpy(m_Infineon.startReq, m_Infineon.security, kSecuritySize);
  if (!IFXReqStartA(comm)) return 0;
  if ((flags & kFlagEraseAll) != 0 && !(IFXEraseAll(comm) && IFXEraseCheck(comm))) return 0;
  return IFXReqEnd(comm);
}

int CBasicFlash::IFXSecuritySettingB(CMiscUtilComm* comm, uint32_t /*ignored*/) {
  std::memcpy(m_Infineon.startReq, m_Infineon.security, kSecuritySize);
  return IFXReqStartA(comm) && IFXReqEnd(comm) ? 1 : 0;
}

int CBasicFlash::IFXSecuritySettingC(CMiscUtilComm* comm, uint32_t /*ignored*/, uint32_t flags) {
  std::memcpy(m_Infineon.startReq, m_Infineon.security, kSecuritySize);
  if (!IFXReqStartA(comm)) return 0;
  if ((flags & kFlagEraseAll) == 0 && !(IFXErase(comm) && IFXEraseCheck(comm))) return 0;
  return IFXReqEnd(comm);
}

// --- the firmware image ---------------------------------------------------------------------

int CBasicFlash::ExtractPsiEbl(const uint8_t* image, CMiscUtilComm* /*comm*/) {
  ifx::MemorySource source = ImageSource(image);
  ifx::Layout layout;
  ifx::Refusal why = ScanImage(image, source, ifx::kScanLoaders, layout);
  if (why.empty()) why = TakeLoaders(*this, source, layout);
  return why.empty() ? 1 : Refuse(*this, why);
}

int CBasicFlash::ExtractDataFromIFX(const uint8_t* image, CMiscUtilComm* /*comm*/) {
  ifx::MemorySource source = ImageSource(image);
  ifx::Layout layout;
  ifx::Refusal why = ScanImage(image, source, ifx::kScanData, layout);
  // Without its own code and security block the image would be written with what an earlier
  // image left behind, or not at all while the step reports success.
  if (why.empty() && (!layout.code || layout.code->Length() == 0)) {
    why = "The image holds no code element to write";
  }
  if (why.empty() && !layout.securityAt) why = "The image holds no security block";
  if (why.empty() && layout.code) why = TakeCode(*this, *layout.code);
  if (why.empty() && layout.securityAt) why = TakeSecurity(*this, source, *layout.securityAt);
  return why.empty() ? 1 : Refuse(*this, why);
}

uint16_t CBasicFlash::IFX_CheckSumB(const uint8_t* data, uint16_t length) {
  uint32_t sum = 0;
  for (uint16_t i = 0; i < length; ++i) sum += data[i];
  return static_cast<uint16_t>(sum);
}

// --- flash programming ----------------------------------------------------------------------

int CBasicFlash::IFXReqStartA(CMiscUtilComm* comm) {
  SendCode(55);
  if (!ExchangeWith(comm, BootHeader(boot_cmd::kIfxStart), m_Infineon.startReq, kSecuritySize,
                    m_nDefaultTimeout)) {
    return TextThenFail(*this, "Req StartA error!");
  }
  SendCode(60);
  return 1;
}

int CBasicFlash::IFXReqStartB(CMiscUtilComm* comm) {
  SendCode(55);
  if (!ExchangeWith(comm, BootHeader(boot_cmd::kIfxStart), m_Infineon.security, kSecuritySize,
                    2 * m_nDefaultTimeout)) {
    return TextThenFail(*this, "Req StartB error!");
  }
  SendCode(60);
  return 1;
}

int CBasicFlash::IFXEraseAll(CMiscUtilComm* comm) {
  if (!BareStep(*this, comm, boot_cmd::kIfxEraseAll, "fail to erase")) return 0;
  SendCode(65);
  return 1;
}

int CBasicFlash::IFXErase(CMiscUtilComm* comm) {
  if (!BareStep(*this, comm, boot_cmd::kIfxErase, "fail to erase")) return 0;
  SendCode(65);
  return 1;
}

int CBasicFlash::IFXEraseCheck(CMiscUtilComm* comm) {
  if (!BareStep(*this, comm, boot_cmd::kIfxEraseCheck, "fail to erase")) return 0;
  SendText("Erase was executed rightly!");
  SendCode(70);
  return 1;
}

int CBasicFlash::IFXReqFlashSetAddress(CMiscUtilComm* comm) {
  BootHeader h(boot_cmd::kIfxSetAddress);
  h.U32(2, bytes::LoadLe32(m_Infineon.security + kFlashAddressOffset));
  if (!Exchange(comm, h, m_nDefaultTimeout)) return FailThenText(*this, "fail to end");
  SendText("Set FLASH address");
  SendCode(90);
  return 1;
}

int CBasicFlash::IFXReqEnd(CMiscUtilComm* comm) {
  return BareStep(*this, comm, boot_cmd::kIfxEnd, "fail to end");
}

int CBasicFlash::IFXDownload(const uint8_t* image, CMiscUtilComm* comm) {
  if (m_Infineon.codeDesc[4] == 0) return 1;
  if (!ImageCodeFits(*this, image)) return 0;
  MemoryCode code(image + m_Infineon.codeDataOffset);
  return Download2k(*this, comm, code);
}

int CBasicFlash::IFXDownloadB(const uint8_t* image, CMiscUtilComm* comm) {
  platform::SleepMs(kWrite64kPauseMs, m_Report.RunCancellation());
  if (m_Infineon.codeDesc[4] == 0) return 1;
  if (!ImageCodeFits(*this, image)) return 0;
  MemoryCode code(image + m_Infineon.codeDataOffset);
  return Download64k(*this, comm, code);
}

// Code that lies outside the image is refused before the phone is touched.
int CBasicFlash::IFXNormalDownload(const uint8_t* image, CMiscUtilComm* comm) {
  if (!ImageCodeFits(*this, image)) return 0;
  return IFXReqStartB(comm) && IFXReqFlashSetAddress(comm) && IFXDownloadB(image, comm) &&
                 IFXReqEnd(comm)
             ? 1
             : 0;
}

int CBasicFlash::IFXNormalDownloadB(const uint8_t* image, CMiscUtilComm* comm) {
  if (!ImageCodeFits(*this, image)) return 0;
  return IFXReqStartB(comm) && IFXReqFlashSetAddress(comm) && IFXDownload(image, comm) &&
                 IFXReqEnd(comm)
             ? 1
             : 0;
}

// --- factory download -----------------------------------------------------------------------

// The file is walked and streamed from disk: only its loaders and one block of code at a time
// are held. Everything it points at is checked before the phone is touched.
int CBasicFlash::IFXFactoryCheck(const char* path) {
  FileSource file(path);
  ifx::Area area;
  ifx::Layout layout;
  return CheckFactoryFile(*this, file, path, area, layout);
}

int CBasicFlash::IFXFactoryDownload(const char* path, CMiscUtilComm* comm, uint32_t flags) {
  FileSource file(path);
  file.DigestFor(m_Report);
  ifx::Area area;
  ifx::Layout layout;
  if (!CheckFactoryFile(*this, file, path, area, layout)) return 0;
  if (!BasicIFXSetting(comm)) {
    SendCode(notify::kProgressFailed);
    return 0;
  }
  for (uint32_t i = 0; i < layout.loadList->count; ++i) {
    ifx::LoadRecord record;
    if (!ifx::ReadLoadRecord(file, *layout.loadList, i, record)) {
      return TextThenFail(*this, "cannot read the factory file");
    }
    if (!ProgramRecord(*this, comm, file, area, record, flags)) return 0;
  }
  return 1;
}
