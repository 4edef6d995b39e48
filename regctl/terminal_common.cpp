#include <atomic>
#include <cstdio>
#include <iostream>
#include <thread>

#include "regctl/terminal.h"

namespace kvl::regctl {

std::atomic<bool> g_stop{false};

bool StopRequested() {
  return g_stop.load();
}

bool SleepUnlessStopped(std::chrono::milliseconds d) {
  const auto until = std::chrono::steady_clock::now() + d;
  while (!g_stop.load()) {
    const auto left = until - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return true;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
  }
  return false;
}

bool Confirm(const std::string& question) {
  std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y' || answer.rfind("д", 0) == 0 ||
                             answer.rfind("Д", 0) == 0);
}

}  // namespace kvl::regctl
