// The layer rule, enforced on the source tree: every quoted include of a folder must name a
// header that the folder may use, and only the operating-system backends include the system's
// own headers. The table here is the rule that docs/ARCHITECTURE.md describes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct Rule {
  std::string folder;                // source folder, relative to the tree's root
  std::vector<std::string> allowed;  // prefixes of the quoted includes it may use
};

const std::string kPlatform = "corvane/platform/";
const std::string kAnyCorvane = "corvane/";
// The one header of the simulation module that the front ends load it by.
const std::string kSimulationApi = "sim/module/simulation_api.h";

// Most specific folder first: the first rule whose folder holds a file is its rule.
const std::vector<Rule>& Rules() {
  static const std::vector<Rule> rules = {
      {"include/corvane/platform", {kPlatform}},
      {"platform", {kPlatform, "platform/"}},
      {"include/corvane/serial", {kPlatform, "corvane/serial/"}},
      {"serial", {kPlatform, "corvane/serial/"}},
      {"include/corvane/protocol", {kPlatform, "corvane/serial/", "corvane/protocol/"}},
      {"protocol", {kPlatform, "corvane/serial/", "corvane/protocol/", "protocol/"}},
      {"include/corvane/ports", {kPlatform, "corvane/ports/"}},
      {"ports", {kPlatform, "corvane/ports/", "ports/"}},
      {"include/corvane/flash",
       {kPlatform, "corvane/serial/", "corvane/protocol/", "corvane/ports/", "corvane/flash/"}},
      // The chip procedures take the download's option bits as the plug-in boundary defines them.
      {"flash",
       {kPlatform, "corvane/serial/", "corvane/protocol/", "corvane/ports/", "corvane/flash/",
        "flash/", "corvane/plugin/exports.h"}},
      {"include/corvane/module", {kAnyCorvane}},
      {"include/corvane/plugin", {kPlatform}},
      {"module", {kAnyCorvane}},
      // The plug-in builds on Corvane's public headers only, never on its internals; only its
      // windows add the shared widgets (and Qt).
      {"plugin/windows", {kAnyCorvane, "plugin/", "widgets/"}},
      {"plugin", {kAnyCorvane, "plugin/"}},
      // The example plug-in builds out of the tree, on the installed SDK alone.
      {"examples/model-plugin", {kAnyCorvane, "example_module.h"}},
      // Front ends reach a phone only through the plug-in: no link, flash or module headers.
      {"host", {kPlatform, "corvane/ports/", "host/", "corvane/plugin/exports.h", kSimulationApi}},
      {"gui/tests", {""}},
      {"gui",
       {kPlatform, "corvane/ports/", "host/", "gui/", "widgets/", "corvane/plugin/exports.h"}},
      {"widgets/tests", {""}},
      {"widgets", {"widgets/", kPlatform}},
      {"cli/tests", {""}},
      {"cli",
       {kPlatform, "corvane/ports/", "host/", "cli/", "corvane/plugin/exports.h", kSimulationApi}},
      // The simulation module that tarvex-cli loads for --simulate: simulated phones behind the
      // front end's interface.
      {"sim/module", {"sim/", kPlatform}},
      // The simulated phone is an independent peer: it shares only the frame check and the
      // byte order with the host side, and publishes its port where discovery looks.
      {"sim",
       {"sim/", kPlatform, "corvane/protocol/hdlc.h", "corvane/ports/published_ports.h",
        "corvane/ports/serial_port_entry.h"}},
  };
  return rules;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Files that may include the operating system's own headers.
bool IsOsBackend(const std::string& relative) {
  const bool win32 = EndsWith(relative, "_win32.cpp") || EndsWith(relative, "_win32.h");
  if (StartsWith(relative, "host/")) return win32;
  return (StartsWith(relative, "platform/") || StartsWith(relative, "ports/")) &&
         (EndsWith(relative, "_posix.cpp") || EndsWith(relative, "_linux.cpp") || win32);
}

// Folders whose code runs without a window toolkit: no Qt header there.
bool IsToolkitFree(const std::string& relative) {
  for (const char* folder : {"host/", "cli/", "plugin/"}) {
    if (StartsWith(relative, folder)) return !StartsWith(relative, "plugin/windows/");
  }
  return false;
}

bool IsOsHeader(const std::string& header) {
  for (const char* h :
       {"unistd.h", "fcntl.h", "termios.h", "poll.h", "dlfcn.h", "pty.h", "dirent.h", "signal.h",
        "pwd.h", "grp.h", "windows.h", "io.h", "psapi.h", "shlobj.h", "setupapi.h"}) {
    if (header == h) return true;
  }
  return StartsWith(header, "sys/") || StartsWith(header, "linux/") || StartsWith(header, "asm/") ||
         StartsWith(header, "systemd/");
}

// The header of an #include line and whether it is quoted; false for any other line.
bool IncludeOf(const std::string& line, std::string& header, bool& quoted) {
  size_t p = line.find_first_not_of(" \t");
  if (p == std::string::npos || line[p] != '#') return false;
  p = line.find_first_not_of(" \t", p + 1);
  if (p == std::string::npos || line.compare(p, 7, "include") != 0) return false;
  p = line.find_first_of("<\"", p + 7);
  if (p == std::string::npos) return false;
  quoted = line[p] == '"';
  const size_t close = line.find(quoted ? '"' : '>', p + 1);
  if (close == std::string::npos) return false;
  header = line.substr(p + 1, close - p - 1);
  return true;
}

const Rule* RuleFor(const std::string& relative) {
  for (const Rule& r : Rules()) {
    if (relative.rfind(r.folder + "/", 0) == 0) return &r;
  }
  return nullptr;
}

bool Allowed(const Rule& rule, const std::string& header) {
  for (const std::string& prefix : rule.allowed) {
    if (header.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Every break of the rule in one file, as "file: include".
std::vector<std::string> Breaks(const fs::path& root, const fs::path& file) {
  const std::string relative = fs::relative(file, root).generic_string();
  const Rule* rule = RuleFor(relative);
  std::vector<std::string> out;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::string header;
    bool quoted = false;
    if (!IncludeOf(line, header, quoted)) continue;
    if (quoted && rule != nullptr && !Allowed(*rule, header)) {
      out.push_back(relative + ": \"" + header + "\"");
    }
    if (!quoted && IsOsHeader(header) && !IsOsBackend(relative) && rule != nullptr &&
        !Allowed(*rule, "")) {
      out.push_back(relative + ": <" + header + ">");
    }
    if (!quoted && StartsWith(header, "Q") && IsToolkitFree(relative) && rule != nullptr &&
        !Allowed(*rule, "")) {
      out.push_back(relative + ": <" + header + ">");
    }
  }
  return out;
}

std::vector<std::string> BreaksInTree(const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const fs::path& p = entry.path();
    const std::string relative = fs::relative(p, root).generic_string();
    if (relative.rfind("build", 0) == 0 || relative.rfind(".", 0) == 0) continue;
    if (!entry.is_regular_file()) continue;
    if (p.extension() != ".cpp" && p.extension() != ".h") continue;
    for (std::string& b : Breaks(root, p)) out.push_back(std::move(b));
  }
  return out;
}

TEST(LayerRule, EveryIncludeOfTheTreeKeepsToItsLayer) {
  const fs::path root = TARVEX_SOURCE_DIR;
  ASSERT_TRUE(fs::exists(root / "include/corvane"));
  const std::vector<std::string> breaks = BreaksInTree(root);
  std::string listing;
  for (const std::string& b : breaks) listing += "\n  " + b;
  EXPECT_TRUE(breaks.empty()) << "includes that break the layer rule:" << listing;
}

// The check itself: a front end that reaches into the link, a library layer that reaches up,
// and an OS header above the backends are each caught.
TEST(LayerRule, CatchesIncludesThatReachAcrossLayers) {
  const testing_support::TempDir dir;
  const fs::path& root = dir.Path();
  const auto write = [&](const std::string& relative, const std::string& text) {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative) << text;
  };
  write("cli/run.cpp", "#include \"corvane/protocol/misc_util_comm.h\"\n#include \"host/x.h\"\n");
  write("serial/port.cpp", "#include \"corvane/flash/basic_flash.h\"\n");
  write("protocol/wait.cpp", "#include <poll.h>\n#include <vector>\n");
  write("platform/device_posix.cpp", "#include <poll.h>\n#include <termios.h>\n");
  write("platform/device_win32.cpp", "#include <windows.h>\n#include <io.h>\n");
  write("host/paths.cpp", "#include <windows.h>\n");
  write("plugin/seq.cpp", "#include \"flash/ifx_image.h\"\n#include \"corvane/flash/x.h\"\n");
  write("plugin/run.cpp", "#include <QWidget>\n#include \"widgets/text_progress_bar.h\"\n");
  write("plugin/windows/w.cpp", "#include <QWidget>\n#include \"widgets/text_progress_bar.h\"\n");
  write("sim/module/m.cpp", "#include \"host/simulation.h\"\n");
  std::vector<std::string> breaks;
  for (const char* f :
       {"cli/run.cpp", "serial/port.cpp", "protocol/wait.cpp", "platform/device_posix.cpp",
        "platform/device_win32.cpp", "host/paths.cpp", "plugin/seq.cpp", "plugin/run.cpp",
        "plugin/windows/w.cpp", "sim/module/m.cpp"}) {
    for (std::string& b : Breaks(root, root / f)) breaks.push_back(b);
  }
  EXPECT_EQ(breaks, (std::vector<std::string>{
                        "cli/run.cpp: \"corvane/protocol/misc_util_comm.h\"",
                        "serial/port.cpp: \"corvane/flash/basic_flash.h\"",
                        "protocol/wait.cpp: <poll.h>",
                        "host/paths.cpp: <windows.h>",
                        "plugin/seq.cpp: \"flash/ifx_image.h\"",
                        "plugin/run.cpp: <QWidget>",
                        "plugin/run.cpp: \"widgets/text_progress_bar.h\"",
                        "sim/module/m.cpp: \"host/simulation.h\"",
                    }));
}

}  // namespace
