// Running another program of the system as a child process and waiting
// for it: no shell, the arguments passed as they are, its stderr shared
// with ours so that its messages reach the user as it writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How a child process ended.
struct ChildEnd {
  int exitStatus = -1;  // 0..255 when it exited
  int signal = 0;       // the signal that ended it, 0 when it exited
  uint64_t outputBytes = 0;  // all it wrote on stdout, kept or not
};

// Runs the program `arguments[0]` (a path) with `arguments` as its argv and
// waits for it to end. Its stdin reads `input` (null: our own stdin); its
// stdout goes to *output (null: our own stdout), of which the first
// `outputLimit` bytes are kept (end->outputBytes tells how much it wrote,
// so a caller can say that it was cut); once it has ended, what it wrote is
// taken even when a program it started keeps its stdout open. Its stderr goes to the file
// `errorPath`, created or emptied (null: our own stderr), for a caller that
// tells the user what the messages mean.
//
// SIGINT, SIGTERM and SIGHUP that reach this process while the child runs
// are passed on to the child; once it has ended, the first of them is
// raised again here, so that this process then does what it would have
// done without a child (by default it ends). A child that has not ended
// half a second after such a signal is killed (SIGKILL). Signals this
// process ignores stay ignored in the child.
//
// Returns 0 with `end` filled when the child ran (whatever its exit
// status), or -1 with the reason in *error when it could not be started.
int RunChildProcess(const std::vector<std::string>& arguments, const std::string* input, std::string* output,
                    ChildEnd* end, std::string* error, const std::string* errorPath = nullptr,
                    size_t outputLimit = SIZE_MAX);

// "exit status N" or "signal N (name)": how the child ended, for messages.
std::string DescribeChildEnd(const ChildEnd& end);

// The path of the executable `name` in the first folder of $PATH that holds
// one, as a shell would find it; "" when none does (or PATH is unset).
std::string FindProgramOnPath(const std::string& name);
