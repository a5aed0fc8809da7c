#include "cli/job.h"

#include "cli/phone_window.h"
#include "cli/ports.h"
#include "cli/run_records.h"
#include "corvane/platform/path.h"
#include "corvane/ports/serial_port_entry.h"

namespace cli {

std::optional<Exports> Exports::For(const Plugin& plugin, Command command, std::string& lacking) {
  switch (command) {
    case Command::kDownload:
      // The file table types, judges and orders the files with the typing exports.
      lacking = plugin.Lacking(
          {Export::kDoDownload, Export::kJudgeFile, Export::kGetFileTypeStr, Export::kFileDlOrder});
      break;
    case Command::kFactory:
      lacking = plugin.Lacking({Export::kDoFactoryDownload});
      break;
    case Command::kMdm:
      lacking = plugin.Lacking({Export::kDoFactoryDownloadMdm});
      break;
    case Command::kUpload:
      lacking = plugin.Lacking({Export::kDoUploadStart});
      break;
    default:
      break;
  }
  if (!lacking.empty()) return std::nullopt;
  return Exports(plugin);
}

FileCheck Exports::CheckFiles(const Job& job) const {
  switch (job.command) {
    case Command::kDownload:
      return plugin_->CheckFiles(kCheckNormalDownload, job.paths, job.options);
    case Command::kFactory:
      return plugin_->CheckFiles(kCheckFactoryDownload, {job.cpPath, job.apPath}, job.options);
    case Command::kMdm:
      return plugin_->CheckFiles(kCheckMdmDownload, {job.mdmPath, job.apPath}, job.options);
    default:
      return {};
  }
}

int Exports::Run(const Job& job, platform::WindowHandle window, uint8_t port) const {
  const PluginExports& e = plugin_->Exports();
  switch (job.command) {
    case Command::kDownload: {
      std::vector<uint8_t*> images = job.images;  // the call takes a mutable array of its own
      return e.doDownload(window, port, images.data(), static_cast<int>(images.size()), &job.paths,
                          kRunTimeoutMs, job.options);
    }
    case Command::kFactory:
      return e.doFactoryDownload(window, port, &job.cpPath, &job.apPath, kRunTimeoutMs,
                                 job.options);
    case Command::kMdm:
      return e.doFactoryDownloadMdm(window, port, &job.mdmPath, &job.apPath, kRunTimeoutMs);
    case Command::kUpload:
      return e.doUploadStart(window, port, &job.outPath, job.sectors, job.address, kRunTimeoutMs);
    default:
      return 0;
  }
}

std::vector<std::string> Job::PhoneFiles() const {
  switch (command) {
    case Command::kDownload:
      return paths;
    case Command::kFactory:
      return {cpPath, apPath};
    case Command::kMdm:
      return {mdmPath, apPath};
    default:
      return {};
  }
}

PhoneWorker::PhoneWorker(const Exports& exports, const Job& job, const PhoneLabel& phone,
                         Console& console)
    : label_(phone),
      window_(std::make_unique<PhoneWindow>(
          phone, console, Throughput(job.totalBytes),
          notify::RunWatch::Setup{job.PhoneFiles(), exports.ReportsSteps(), job.allowUnused})) {
  thread_ = std::thread([this, &exports, &job, &console] {
    console.PhoneStarted(label_);
    const CurrentPhone current(label_);
    console.AttachBar(window_.get());
    std::optional<records::RunLedger> ledger;
    if (job.records != nullptr) ledger.emplace(job.records->Begin(label_));
    window_->Begin();
    const int result = exports.Run(job, window_.get(), label_.number);
    result_ = window_->End(result);
    if (ledger) job.records->End(*ledger, result_, *window_);
    console.DetachBar(window_.get());
    console.Result(result_);
    done_.store(true, std::memory_order_release);
  });
}

PhoneWorker::~PhoneWorker() {
  if (thread_.joinable()) thread_.join();
}

void PhoneWorker::Cancel(int reason) { window_->Close(reason); }

PhoneResult PhoneWorker::Join() {
  if (thread_.joinable()) thread_.join();
  return result_;
}

PhoneResult RunToEnd(PhoneWorker& worker, const platform::Cancellation* interrupt) {
  // The worker's end is looked for every few tens of milliseconds; an interrupt wakes at once.
  constexpr uint64_t kLookMs = 20;
  while (!worker.Done()) {
    if (WaitUnlessInterrupted(interrupt, kLookMs)) {
      worker.Cancel(interrupt->Reason());
      break;
    }
  }
  return worker.Join();
}

PhoneLabel LabelOf(const SerialPortEntry& entry) {
  PhoneLabel label;
  label.number = entry.portNumber;
  label.name = entry.portName.empty() ? platform::BareName(entry.devicePath) : entry.portName;
  label.path = entry.devicePath;
  label.description = entry.description;
  label.usbIds = records::PhoneOf(entry).usbIds;
  label.usbPath = entry.usbPath;
  label.usbSerial = entry.usbSerial;
  return label;
}

}  // namespace cli
