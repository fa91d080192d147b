// Running a program as a child process: its input and output through this
// process without a shell, how it ended, and the quit signals passed on.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "platform/child_process.h"

namespace {

TEST(ChildProcess, PassesInputTakesOutputAndTellsHowTheChildEnded) {
  // More than a pipe holds, both ways.
  std::string input;
  for (int i = 0; input.size() < 300000; ++i) input += "line " + std::to_string(i) + "\n";
  ChildEnd end;
  std::string output, error;
  ASSERT_EQ(RunChildProcess({"/bin/sh", "-c", "cat; echo end; exit 3"}, &input, &output, &end, &error), 0) << error;
  EXPECT_EQ(output, input + "end\n");
  EXPECT_EQ(end.exitStatus, 3);
  EXPECT_EQ(end.signal, 0);
  EXPECT_EQ(DescribeChildEnd(end), "exit status 3");

  // The arguments arrive as they are: no shell reads them.
  output.clear();
  ASSERT_EQ(RunChildProcess({"/bin/echo", "a  b", "$HOME", "'q';"}, nullptr, &output, &end, &error), 0) << error;
  EXPECT_EQ(output, "a  b $HOME 'q';\n");
  EXPECT_EQ(end.exitStatus, 0);

  output.clear();
  ASSERT_EQ(RunChildProcess({"/bin/sh", "-c", "kill -KILL $$"}, nullptr, &output, &end, &error), 0) << error;
  EXPECT_EQ(end.signal, SIGKILL);
  EXPECT_EQ(DescribeChildEnd(end).rfind("signal 9 ", 0), 0u) << DescribeChildEnd(end);

  // Its messages go to a file when the caller asks.
  const std::string messages = ::testing::TempDir() + "child_process_messages";
  output.clear();
  ASSERT_EQ(RunChildProcess({"/bin/sh", "-c", "echo out; echo oops >&2"}, nullptr, &output, &end, &error, &messages), 0);
  std::string written(64, '\0');
  FILE* file = std::fopen(messages.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  written.resize(std::fread(written.data(), 1, written.size(), file));
  std::fclose(file);
  std::remove(messages.c_str());
  EXPECT_EQ(output + written, "out\noops\n");

  EXPECT_EQ(RunChildProcess({"/nonexistent/tevo-program"}, nullptr, &output, &end, &error), -1);
  EXPECT_NE(error.find("cannot run /nonexistent/tevo-program"), std::string::npos) << error;
}

volatile sig_atomic_t received = 0;
void Receive(int signal) { received = signal; }

TEST(ChildProcess, AQuitSignalReachesTheChildAndThenThisProcess) {
  struct sigaction own {}, oldTerm{}, oldHangUp{}, ignore{};
  own.sa_handler = Receive;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGTERM, &own, &oldTerm);
  sigaction(SIGHUP, &ignore, &oldHangUp);
  ChildEnd end;
  std::string output, error;
  // The child asks this process to end, then waits far longer than the
  // test: only the signal passed on ends it.
  received = 0;
  ASSERT_EQ(RunChildProcess({"/bin/sh", "-c", "kill -TERM $PPID; exec sleep 120"}, nullptr, nullptr, &end, &error), 0)
      << error;
  EXPECT_EQ(end.signal, SIGTERM);
  EXPECT_EQ(received, SIGTERM) << "raised again here once the child ended";

  // A signal this process ignores stays ignored, in the child too.
  received = 0;
  ASSERT_EQ(RunChildProcess({"/bin/sh", "-c", "kill -HUP $PPID; kill -HUP $$; echo alive"}, nullptr, &output, &end,
                            &error),
            0)
      << error;
  EXPECT_EQ(output, "alive\n");
  EXPECT_EQ(end.exitStatus, 0);
  EXPECT_EQ(received, 0);

  struct sigaction now {};
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, Receive) << "this process's own action comes back";
  sigaction(SIGTERM, &oldTerm, nullptr);
  sigaction(SIGHUP, &oldHangUp, nullptr);
}

// Whatever the child does, the wait ends: its output beyond the limit is
// counted but not kept, a program it leaves holding its stdout does not
// keep the wait open, and a child that ignores the quit signal is killed.
TEST(ChildProcess, TheWaitEndsWhateverTheChildDoes) {
  ChildEnd end;
  std::string output, error;
  ASSERT_EQ(RunChildProcess({"/bin/sh", "-c", "head -c 300000 /dev/zero"}, nullptr, &output, &end, &error, nullptr, 1000),
            0)
      << error;
  EXPECT_EQ(output, std::string(1000, '\0'));
  EXPECT_EQ(end.outputBytes, 300000u);

  const std::string holder = ::testing::TempDir() + "child_process_holder";
  const auto started = std::chrono::steady_clock::now();
  output.clear();
  ASSERT_EQ(RunChildProcess({"/bin/sh", "-c", "echo kept; (exec sleep 60) & echo $! > " + holder}, nullptr, &output,
                            &end, &error),
            0)
      << error;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(output, "kept\n");
  EXPECT_EQ(end.exitStatus, 0);
  FILE* pidFile = std::fopen(holder.c_str(), "r");
  ASSERT_NE(pidFile, nullptr);
  int pid = 0;
  EXPECT_EQ(std::fscanf(pidFile, "%d", &pid), 1);
  std::fclose(pidFile);
  std::remove(holder.c_str());
  if (pid > 0) kill(pid, SIGKILL);

  struct sigaction own {}, oldTerm{};
  own.sa_handler = Receive;
  sigaction(SIGTERM, &own, &oldTerm);
  received = 0;
  ASSERT_EQ(RunChildProcess({"/bin/sh", "-c", "trap '' TERM; kill -TERM $PPID; while :; do sleep 0.05; done"}, nullptr,
                            nullptr, &end, &error),
            0)
      << error;
  EXPECT_EQ(end.signal, SIGKILL);
  EXPECT_EQ(received, SIGTERM);
  sigaction(SIGTERM, &oldTerm, nullptr);
}

}  // namespace
