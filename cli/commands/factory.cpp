// factory: the ROM-copy download of the modem's factory file and the eMMC factory file. Which of
// them the plug-in writes, and how, is its own to say: its pre-flight refuses a file it would pass
// over.

#include "cli/commands/commands.h"

namespace cli {

int BuildFactory(const JobContext& c) {
  Job& job = c.job;
  job.cpPath = Absolute(c.options.files[0]);
  job.apPath = Absolute(c.options.files[1]);
  return c.CheckAndSize({job.cpPath, job.apPath});
}

}  // namespace cli
