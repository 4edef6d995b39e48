#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "regctl/terminal.h"

namespace kvl::regctl {

extern std::atomic<bool> g_stop;

namespace {
void OnStop(int) {
  g_stop.store(true);
}
}  // namespace

bool StdoutIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

bool PrepareConsole() {
  return StdoutIsTerminal();
}

void CatchStop() {
  struct sigaction sa {};
  sa.sa_handler = OnStop;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace kvl::regctl
