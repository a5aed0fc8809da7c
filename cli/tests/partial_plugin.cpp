// A model plug-in of this program's interface that types no file and has no download entry
// point at all. Built a second time with another interface version (PARTIAL_ABI_VERSION).

#include "corvane/plugin/exports.h"

#ifndef PARTIAL_ABI_VERSION
#define PARTIAL_ABI_VERSION kPluginAbiVersion
#endif

extern "C" {

int PluginAbiVersion(void) { return PARTIAL_ABI_VERSION; }

const char* ResourceString(int id) { return id == 1 ? "PARTIAL" : nullptr; }

}  // extern "C"
