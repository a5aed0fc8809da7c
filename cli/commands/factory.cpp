// factory: the ROM-copy download of the modem's factory file and the eMMC factory file.

#include "cli/commands/commands.h"

namespace cli {
namespace {

// The last three characters, which decide what the plug-in does with a factory file.
std::string LastThree(const std::string& path) {
  return path.size() <= 3 ? path : path.substr(path.size() - 3);
}

}  // namespace

int BuildFactory(const JobContext& c) {
  Job& job = c.job;
  job.cpPath = Absolute(c.options.files[0]);
  job.apPath = Absolute(c.options.files[1]);
  // The plug-in picks the procedure by the last three characters; anything else it passes
  // over and still reports success, so such a file is refused here.
  if (LastThree(job.cpPath) != "fls") {
    return c.Refuse("CP_FILE must be the modem's factory file (*.fls): " + job.cpPath);
  }
  if (LastThree(job.apPath) != "bin") {
    return c.Refuse("AP_FILE must be the eMMC factory file (*.bin): " + job.apPath);
  }
  return c.CheckAndSize({job.cpPath, job.apPath});
}

}  // namespace cli
