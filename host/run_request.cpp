#include "host/run_request.h"

std::vector<std::string> RunRequest::Files() const {
  if (mode == Mode::kRomCopy) return {cpPath, apPath};
  return paths;
}

int RunRequest::CheckMode() const {
  return mode == Mode::kRomCopy ? kCheckFactoryDownload : kCheckNormalDownload;
}

std::string RunRequest::ListText() const {
  if (mode == Mode::kRomCopy) return "1. " + cpPath + "\n2. " + apPath;
  std::string text = "==  download lists  ==\n";
  for (size_t n = 0; n < names.size(); ++n) {
    if (n % 2 == 1) text += "    ";
    if (n % 2 == 0 && n != 0) text += "\n";
    text += std::to_string(n + 1) + ". " + names[n];
  }
  return text;
}

std::string RunRequest::Refusal() const {
  if (plugin == nullptr) return "There is no model plug-in to run the download";
  if (mode == Mode::kRomCopy && cpPath.empty() && apPath.empty()) {
    return "There is no ROM image to download: choose the CP bin or the AP bin file";
  }
  return records::RequiredRefusal(recordsRequired, recorder.get());
}

std::vector<uint8_t*> RunRequest::Images() const {
  if (!images) return std::vector<uint8_t*>(paths.size(), nullptr);
  return images->Images(paths.size());  // the store packs the ticked files in slot order
}

std::string EraseText(uint32_t bits) {
  std::string text;
  if (bits & kEraseAp) text += "[Erase entire AP] ";
  if (bits & kEraseUserData) text += "[Erase User Data(AP)] ";
  if (bits & kEraseCp) text += "[Erase entire CP] ";
  return text;
}

void AttachRecords(RunRequest& request, std::shared_ptr<records::Recorder> recorder,
                   const records::Settings& settings, const std::vector<SerialPortEntry>& ports) {
  request.recorder = std::move(recorder);
  request.recordsRequired = settings.required;
  records::RunStart& r = request.record;
  r.station = settings.station;
  r.job = settings.job;
  r.tool = "tarvex";
  r.toolVersion = records::ToolVersion();
  if (request.plugin != nullptr) {
    r.plugin = request.plugin->String(1);
    r.pluginVersion = request.plugin->String(2);
  }
  r.mode = request.mode == RunRequest::Mode::kRomCopy ? "rom copy" : "normal";
  r.erase = request.erase;
  r.files = request.Files();
  for (const SerialPortEntry& p : ports) {
    if (p.portNumber == request.port) request.portEntry = p;
  }
  r.simulated = records::SimulatedPort(request.portEntry.devicePath);
}
