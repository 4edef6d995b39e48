// The built regsim program run as a child: its pty, its stdin control lines and
// its end.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kvl::test {

class RegsimProcess {
 public:
#ifdef KVL_REGSIM
  // The built simulator with exactly these arguments, as a user would start it.
  explicit RegsimProcess(const std::vector<std::string>& args) {
    Start(KVL_REGSIM, args, /*captureStderr=*/true);
  }
#endif

  // exe on a pty ready for a link: "--pty --quiet" and args, started and its pty
  // known, or an exception that says what it printed instead.
  RegsimProcess(const std::string& exe, const std::vector<std::string>& args) {
    std::vector<std::string> all{"--pty", "--quiet"};
    all.insert(all.end(), args.begin(), args.end());
    Start(exe, all, /*captureStderr=*/false);  // its reports reach the test's output
    const std::string first = ReadLine(10000);
    if (first.rfind("PTY ", 0) != 0) throw std::runtime_error("regsim said: '" + first + "'");
    pty_ = first.substr(4);
  }
  RegsimProcess(const RegsimProcess&) = delete;
  RegsimProcess& operator=(const RegsimProcess&) = delete;

  // A simulator the test has not seen end is told to "quit" (SIGTERM once its
  // stdin is closed), and the test fails unless it then ends with status 0: a
  // sanitizer report, a crash or a hang on the way out is a fault. The end a test
  // waited for is that test's to check.
  ~RegsimProcess() {
    if (pid_ > 0 && !exited_) {
      if (stdin_ >= 0) {
        const char quit[] = "quit\n";
        [[maybe_unused]] auto w = write(stdin_, quit, sizeof quit - 1);
      } else {
        kill(pid_, SIGTERM);
      }
      Wait(5000);
      if (!exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        ADD_FAILURE() << "regsim did not end within 5 s of being told to";
      } else if (status_ != 0) {
        ADD_FAILURE() << "regsim ended with status " << status_ << " (128 + N: signal N)";
      }
    }
    for (int fd : {stdin_, stdout_, stderr_})
      if (fd >= 0) close(fd);
  }

  // One line of the child's stdout, or "" after timeoutMs.
  std::string ReadLine(int timeoutMs = 5000) {
    return Line(stdout_, outBuf_, timeoutMs);
  }
  std::string ReadErrLine(int timeoutMs = 5000) {
    return Line(stderr_, errBuf_, timeoutMs);
  }

  // The pty path from the first line "PTY <path>".
  std::string Pty() {
    if (pty_.empty()) {
      const std::string first = ReadLine();
      if (first.rfind("PTY ", 0) == 0) pty_ = first.substr(4);
    }
    return pty_;
  }
  const std::string& path() const {
    return pty_;
  }

  // A control command and its one-line reply ("OK ..." / "ERR ...").
  std::string Command(const std::string& cmd, int timeoutMs = 5000) {
    const std::string line = cmd + "\n";
    if (write(stdin_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "";
    return ReadLine(timeoutMs);
  }
  std::string Control(const std::string& line) {
    return Command(line, 10000);
  }

  // Value of key in the reply of "get ADDR" ("" when absent).
  std::string Get(int addr, const std::string& key) {
    const std::string reply = Control("get " + std::to_string(addr));
    const std::string k = " " + key + "=";
    const auto at = reply.find(k);
    if (at == std::string::npos) return "";
    const auto from = at + k.size();
    return reply.substr(from, reply.find(' ', from) - from);
  }

  void CloseStdin() {
    close(stdin_);
    stdin_ = -1;
  }

  // Waits for the end; returns the exit status or -1 while it still runs.
  int Wait(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!exited_) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        exited_ = true;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        break;
      }
      if (std::chrono::steady_clock::now() > end) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
  }

  void Signal(int sig) {
    kill(pid_, sig);
  }
  pid_t Pid() const {
    return pid_;
  }

 private:
  void Start(std::string exe, std::vector<std::string> args, bool captureStderr) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    std::vector<char*> argv{exe.data()};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      if (captureStderr) dup2(err[1], 2);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
    if (!captureStderr) {
      close(stderr_);
      stderr_ = -1;
    }
  }

  static std::string Line(int fd, std::string& buf, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto nl = buf.find('\n');
      if (nl != std::string::npos) {
        std::string l = buf.substr(0, nl);
        buf.erase(0, nl + 1);
        return l;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            end - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return "";
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) return "";
      char c[256];
      const ssize_t n = read(fd, c, sizeof c);
      if (n <= 0) return "";
      buf.append(c, static_cast<size_t>(n));
    }
  }

  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1, stderr_ = -1;
  std::string outBuf_, errBuf_, pty_;
  bool exited_ = false;
  int status_ = -1;
};

}  // namespace kvl::test
