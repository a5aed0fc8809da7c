// mdm: the modem processor's NAND partitions (with --mdm), then the application processor.

#include "cli/commands/commands.h"

namespace cli {

int BuildMdm(const JobContext& c) {
  Job& job = c.job;
  job.apPath = Absolute(c.options.files[0]);
  std::vector<std::string> files{job.apPath};
  if (!c.options.mdmFile.empty()) {
    job.mdmPath = Absolute(c.options.mdmFile);
    files.insert(files.begin(), job.mdmPath);
  }
  return c.CheckAndSize(files);
}

}  // namespace cli
