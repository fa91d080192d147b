// Where a program finds the files installed with it. The programs are
// relocatable: their data directory is found from the running executable,
// so an install (or an unpacked package) works from whatever folder it
// was put in.
#pragma once

#include <string>

// The folder of the running executable, without a trailing slash; "." when
// the executable's path cannot be read.
std::string ExecutableDirectory();

// The installed data directory of the programs (pictures, receiver logs):
// the executable's folder followed by the install's relative path from
// its program folder to its data folder ("<bin>/../share/tevo-logviewer"
// for the usual layout), without "." or ".." components. The folder may
// not exist (a program run from its build tree); callers check for what
// they need in it.
std::string ProgramDataDirectory();
