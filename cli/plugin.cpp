#include "cli/plugin.h"

#include "host/settings.h"

namespace cli {

std::string DefaultPluginPath(const std::string& directory) {
  return settings::DefaultPluginPath(directory);
}

}  // namespace cli
