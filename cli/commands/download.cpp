// download: the files typed and ordered by the plug-in as the host's Normal D/L page does; the
// ones the plug-in reads from memory are loaded, and every one checked, before a phone is touched.

#include <cstdio>

#include "cli/commands/commands.h"
#include "cli/json.h"
#include "corvane/platform/byte_order.h"
#include "corvane/platform/path.h"
#include "host/file_table.h"
#include "host/run_request.h"

namespace cli {
namespace {

void ShowJsonFileList(const JobContext& c, const FileTable& table) {
  std::string list = "[";
  for (int i = 0; i < FileTable::kSlots && !table.At(i).path.empty(); ++i) {
    const FileTable::Slot& s = table.At(i);
    list += (i ? "," : "") + JsonObject()
                                 .Add("path", s.path)
                                 .Add("type", s.type)
                                 .Add("order", static_cast<int>(s.order))
                                 .Add("bytes", SizeOf(s.path))
                                 .Text();
  }
  c.console.JsonLine(JsonObject().Add("event", "files").AddRaw("files", list + "]").Text());
}

void ShowFileList(const JobContext& c, const FileTable& table) {
  if (c.console.GetMode().json) return ShowJsonFileList(c, table);
  c.console.Note("==  download lists  ==  " + table.Header());
  for (const FileTable::Row& row : table.Rows()) {
    char line[64];
    std::snprintf(line, sizeof line, "%3d. %-4s %12s  ", row.number, row.type.c_str(),
                  row.size.c_str());
    c.console.Note(line + row.path);
  }
  if (c.options.erase != 0) c.console.Note("Erase: " + EraseText(c.options.erase));
}

// One that could not be read stops the run here rather than reach the plug-in as a null image.
int ReadImages(const JobContext& c, const std::vector<bool>& load) {
  Job& job = c.job;
  const int complete = c.store.ReadImages(job.paths, load);
  const auto problems = c.store.Problems();
  if (complete != 1 || !problems.empty()) {
    for (const auto& p : problems) c.console.Error(DescribeProblem(p));
    c.console.Error("the download was not started");
    return kExitUsage;
  }
  job.images = c.store.Images(job.paths.size());
  // A partition left on disk has no image: its size is the file's.
  for (size_t i = 0; i < job.paths.size(); ++i) {
    const uint8_t* image = job.images[i];
    job.totalBytes += image != nullptr ? bytes::LoadLe32(image) : SizeOf(job.paths[i]);
  }
  return kExitOk;
}

}  // namespace

int BuildDownload(const JobContext& c) {
  FileTable table(c.plugin.Typing());
  for (const std::string& file : c.options.files) {
    const std::string path = Absolute(file);
    const FileTable::AddResult r = table.AddFile(path);
    if (r == FileTable::AddResult::kDuplicate) {
      c.console.Note(path + " is listed already: taken once");
    }
    if (r == FileTable::AddResult::kRejected) return c.Refuse("the plug-in does not take " + path);
    if (r == FileTable::AddResult::kFull) return c.Refuse(AddResultMessage(r) + " (" + path + ")");
  }
  c.job.paths = table.CheckedPaths();
  ShowFileList(c, table);
  return ReadImages(c, table.CheckedLoads());
}

}  // namespace cli
