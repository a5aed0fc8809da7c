#pragma once

// The program's own strings: its name (102), version (103) and build date (104), as the
// sheet's caption and the version and date labels show them. Null for an id it does not have.
const char* ProgramString(int id);
