// The built regsim program run as a child: its pty, its stdin control and its end.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace kvl::sim::test {

class RegsimProcess {
 public:
  explicit RegsimProcess(std::vector<std::string> args) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      std::vector<char*> argv;
      static std::string path = KVL_REGSIM;
      argv.push_back(path.data());
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(path.c_str(), argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
  }

  // A simulator the test has not seen end is stopped with SIGTERM, and the test
  // fails unless it then ends cleanly (a sanitizer report or a crash on the way
  // out is a fault). The end a test waited for is that test's to check.
  ~RegsimProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGTERM);
      Wait(5000);
      if (!exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        ADD_FAILURE() << "regsim did not end within 5 s of SIGTERM";
      } else if (status_ != 0) {
        ADD_FAILURE() << "regsim ended with status " << status_ << " (128 + N: signal N)";
      }
    }
    for (int fd : {stdin_, stdout_, stderr_})
      if (fd >= 0) close(fd);
  }

  // One line of the child's stdout, or "" after timeoutMs.
  std::string ReadLine(int timeoutMs = 5000) { return Line(stdout_, outBuf_, timeoutMs); }
  std::string ReadErrLine(int timeoutMs = 5000) { return Line(stderr_, errBuf_, timeoutMs); }

  // The pty path from the first line "PTY <path>".
  std::string Pty() {
    if (pty_.empty()) {
      const std::string first = ReadLine();
      if (first.rfind("PTY ", 0) == 0) pty_ = first.substr(4);
    }
    return pty_;
  }

  // A control command and its one-line reply.
  std::string Command(const std::string& cmd) {
    const std::string line = cmd + "\n";
    if (write(stdin_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "";
    return ReadLine();
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

  void Signal(int sig) { kill(pid_, sig); }
  pid_t Pid() const { return pid_; }

 private:
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

// A plain termios client on the pty slave.
class TermiosClient {
 public:
  explicit TermiosClient(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd_, TCSANOW, &t);
    tcflush(fd_, TCIOFLUSH);
  }
  ~TermiosClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void SetBaud(speed_t speed) {
    termios t{};
    tcgetattr(fd_, &t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(fd_, TCSANOW, &t);
  }

  // Writes the request and gathers the answer until `want` bytes or timeoutMs.
  // Each read's size is kept in `reads` when given.
  std::vector<uint8_t> Exchange(const std::vector<uint8_t>& req, size_t want, int timeoutMs = 2000,
                                std::vector<size_t>* reads = nullptr) {
    if (write(fd_, req.data(), req.size()) != static_cast<ssize_t>(req.size())) return {};
    return Gather(want, timeoutMs, reads);
  }

  std::vector<uint8_t> Gather(size_t want, int timeoutMs, std::vector<size_t>* reads = nullptr) {
    std::vector<uint8_t> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            end - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
      uint8_t b[256];
      const ssize_t n = read(fd_, b, sizeof b);
      if (n <= 0) break;
      got.insert(got.end(), b, b + n);
      if (reads) reads->push_back(static_cast<size_t>(n));
    }
    return got;
  }

 private:
  int fd_ = -1;
};

}  // namespace kvl::sim::test
