#include "regsim_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace kvl::test {

RegsimProcess::RegsimProcess(const std::string& exe, const std::vector<std::string>& args) {
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe");
  std::vector<std::string> argv{exe, "--pty", "--quiet"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    execv(exe.c_str(), cargv.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
  const std::string first = ReadLine(10000);
  if (first.rfind("PTY ", 0) != 0) throw std::runtime_error("regsim said: '" + first + "'");
  path_ = first.substr(4);
}

// Stops the simulator with "quit" and fails the running test unless it ends
// cleanly: a sanitizer report, a crash or a hang on the way out is a fault of
// the simulator that must not pass unseen.
RegsimProcess::~RegsimProcess() {
  int status = 0;
  pid_t ended = waitpid(pid_, &status, WNOHANG);
  if (in_ >= 0) {
    if (ended == 0) {
      const char quit[] = "quit\n";
      [[maybe_unused]] auto w = write(in_, quit, sizeof quit - 1);
    }
    close(in_);
  }
  for (int i = 0; i < 500 && ended == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ended = waitpid(pid_, &status, WNOHANG);
  }
  if (ended == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    ADD_FAILURE() << "regsim did not end within 5 s of \"quit\"";
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ADD_FAILURE() << "regsim ended with "
                  << (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                        : "signal " + std::to_string(WTERMSIG(status)));
  }
  if (out_ >= 0) close(out_);
}

std::string RegsimProcess::ReadLine(int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "";
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char b[512];
    const ssize_t n = read(out_, b, sizeof b);
    if (n <= 0) return "";
    pending_.append(b, static_cast<size_t>(n));
  }
}

std::string RegsimProcess::Control(const std::string& line) {
  const std::string l = line + "\n";
  if (write(in_, l.data(), l.size()) != static_cast<ssize_t>(l.size())) return "";
  return ReadLine(10000);
}

std::string RegsimProcess::Get(int addr, const std::string& key) {
  const std::string reply = Control("get " + std::to_string(addr));
  const std::string k = " " + key + "=";
  const auto at = reply.find(k);
  if (at == std::string::npos) return "";
  const auto from = at + k.size();
  return reply.substr(from, reply.find(' ', from) - from);
}

}  // namespace kvl::test
