#include "cli/job.h"

#include "cli/phone_window.h"
#include "cli/ports.h"
#include "corvane/platform/path.h"
#include "corvane/ports/serial_port_entry.h"

namespace cli {

std::optional<Exports> Exports::Bind(const Plugin& plugin, Command command, std::string& missing) {
  Exports e;
  const auto need = [&](auto& slot, const char* name) {
    using Fn = std::remove_reference_t<decltype(slot)>;
    slot = plugin.Find<Fn>(name);
    if (slot == nullptr && missing.empty()) missing = name;
  };
  switch (command) {
    case Command::kDownload: {
      need(e.download_, "DoDownload");
      // The file table types, judges and orders the files with these.
      JudgeFileFn judge = nullptr;
      GetFileTypeStrFn type = nullptr;
      FileDLOrderFn order = nullptr;
      need(judge, "JudgeFile");
      need(type, "GetFileTypeStr");
      need(order, "FileDLOrder");
      break;
    }
    case Command::kFactory:
      need(e.factory_, "DoFactoryDownload");
      break;
    case Command::kMdm:
      need(e.mdm_, "DoFactoryDownloadMDM");
      break;
    case Command::kUpload:
      need(e.upload_, "DoUploadStart");
      break;
    default:
      break;
  }
  if (!missing.empty()) return std::nullopt;
  e.check_ = plugin.Find<CheckDownloadFilesFn>("CheckDownloadFiles");
  return e;
}

std::optional<std::string> Exports::CheckFiles(const Job& job) const {
  if (check_ == nullptr) return std::nullopt;
  int mode = 0;
  std::vector<std::string> paths;
  switch (job.command) {
    case Command::kDownload:
      mode = kCheckNormalDownload;
      paths = job.paths;
      break;
    case Command::kFactory:
      mode = kCheckFactoryDownload;
      paths = {job.cpPath, job.apPath};
      break;
    case Command::kMdm:
      mode = kCheckMdmDownload;
      paths = {job.mdmPath, job.apPath};
      break;
    default:
      return std::nullopt;
  }
  char message[1024] = {};
  if (check_(mode, &paths, job.options, message, static_cast<int>(sizeof message)) == 1) return "";
  return message[0] != '\0' ? std::string(message) : "the plug-in refuses the files";
}

int Exports::Run(const Job& job, HWND window, uint8_t port) const {
  switch (job.command) {
    case Command::kDownload: {
      std::vector<uint8_t*> images = job.images;  // the call takes a mutable array of its own
      return download_(window, port, images.data(), static_cast<int>(images.size()), &job.paths,
                       kRunTimeout, job.options);
    }
    case Command::kFactory:
      return factory_(window, port, &job.cpPath, &job.apPath, kRunTimeout, job.options);
    case Command::kMdm:
      return mdm_(window, port, &job.mdmPath, &job.apPath, kRunTimeout);
    case Command::kUpload:
      return upload_(window, port, &job.outPath, job.sectors, job.address, kRunTimeout);
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
      window_(std::make_unique<PhoneWindow>(phone, console, Throughput(job.totalBytes))) {
  thread_ = std::thread([this, &exports, &job, &console] {
    console.PhoneStarted(label_);
    const CurrentPhone current(label_);
    console.AttachBar(window_.get());
    window_->Begin();
    const int result = exports.Run(job, window_.get(), label_.number);
    result_ = window_->End(result, job.totalBytes, job.PhoneFiles(), job.allowUnused);
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
  return label;
}

}  // namespace cli
