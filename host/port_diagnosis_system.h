#pragma once

#include <string>

#include "host/port_diagnosis.h"

// The two halves of the port diagnosis: the rules (port_diagnosis.cpp) and what each system's
// half finds out and how its fixes are spelled (port_diagnosis_linux.cpp, _win32.cpp).
namespace diagnosis {

// The system's own facts and problems, before any port is looked at.
void ExamineSystem(const System& s, Report& r);

// Who may open each listed port, who holds it, and the problems that follow. The name filter's
// verdict and the description line are already in each finding.
void ExaminePorts(const System& s, Report& r);

// The command that appends `line` to the description table `file` (made if missing), in the
// system's own shell.
std::string AppendLineCommand(const std::string& file, const std::string& line);

}  // namespace diagnosis
