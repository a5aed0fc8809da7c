#pragma once

#include <string>

#include "host/model_plugin.h"

namespace cli {

using Plugin = ModelPlugin;

// model.so in `directory` (the program's own directory by default).
std::string DefaultPluginPath(const std::string& directory);

}  // namespace cli
