// upload: the phone's memory read back into a file.

#include <filesystem>

#include "cli/commands/commands.h"
#include "corvane/platform/path.h"
#include "corvane/platform/process.h"

namespace cli {

int BuildUpload(const JobContext& c) {
  Job& job = c.job;
  job.outPath = Absolute(c.options.outFile);
  job.sectors = *c.options.sectors;
  job.address = *c.options.address;
  job.totalBytes = uint64_t{job.sectors} * 512;
  // Checked now, so that a phone is not read for minutes into a file that cannot be written.
  std::error_code ec;
  const std::filesystem::path dir = platform::PathOf(job.outPath).parent_path();
  if (!std::filesystem::is_directory(dir, ec)) {
    return c.Refuse("cannot write " + job.outPath + ": no directory " + platform::Utf8Of(dir));
  }
  return kExitOk;
}

// The plug-in reads into <file>.part<pid> beside the target and removes it when the read fails;
// a plug-in that did not get that far, or one that does not clean up, must not leave it behind.
void RemoveLeftovers(const Job& job) {
  if (job.command != Command::kUpload) return;
  std::error_code ec;
  const std::string part = job.outPath + ".part" + std::to_string(platform::ProcessId());
  std::filesystem::remove(platform::PathOf(part), ec);
}

}  // namespace cli
