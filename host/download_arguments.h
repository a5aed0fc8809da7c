#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/file_table.h"
#include "host/image_store.h"

// What a download window hands the plug-in, and the "D/L lists" text it shows beside the run.
struct DownloadArguments {
  std::vector<std::string> paths;  // the checked files, in slot order
  std::vector<uint8_t*> images;    // the store's buffers 0 .. count-1, in the same order
  std::string listText;
  int Count() const { return static_cast<int>(paths.size()); }
};

// A normal download: the checked slots of the file table with the store's images. The list
// text is "==  download lists  ==", then the file names numbered two to a line ("1. a    2. b").
DownloadArguments NormalDownloadArguments(const FileTable& files, const CImageStore& store);

// A ROM-copy download's list text: "1. <CP path>\n2. <AP path>".
std::string FactoryListText(const std::string& cpPath, const std::string& apPath);

// A ROM-copy run with neither path given would only reset the phone and report success: the
// reason it is refused, or "" when there is something to write.
std::string NoRomImageReason(const std::string& cpPath, const std::string& apPath);
