#include "host/download_arguments.h"

DownloadArguments NormalDownloadArguments(const FileTable& files, const CImageStore& store) {
  DownloadArguments a;
  a.listText = "==  download lists  ==\n";
  for (int k = 0; k < FileTable::kSlots; ++k) {
    const FileTable::Slot& slot = files.At(k);
    if (slot.path.empty() || slot.check == 0) continue;
    const size_t n = a.paths.size();
    a.paths.push_back(slot.path);
    a.images.push_back(store.Image(n));  // the store packs the checked files in slot order
    if (n % 2 == 1) a.listText += "    ";
    if (n % 2 == 0 && n != 0) a.listText += "\n";
    a.listText += std::to_string(n + 1) + ". " + slot.name;
  }
  return a;
}

std::string FactoryListText(const std::string& cpPath, const std::string& apPath) {
  return "1. " + cpPath + "\n2. " + apPath;
}

std::string NoRomImageReason(const std::string& cpPath, const std::string& apPath) {
  if (!cpPath.empty() || !apPath.empty()) return "";
  return "There is no ROM image to download: choose the CP bin or the AP bin file";
}
