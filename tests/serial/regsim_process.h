// The simulator as a child process: started on a pty with the given arguments,
// steered through its stdin control lines, stopped with "quit"; the running test
// fails unless it then ends with status 0.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kvl::test {

class RegsimProcess {
 public:
  // exe: path of regsim; args: its arguments after "--pty".
  RegsimProcess(const std::string& exe, const std::vector<std::string>& args);
  ~RegsimProcess();
  RegsimProcess(const RegsimProcess&) = delete;
  RegsimProcess& operator=(const RegsimProcess&) = delete;

  const std::string& path() const { return path_; }
  // Sends one control line and returns the reply line ("OK ..." / "ERR ...").
  std::string Control(const std::string& line);
  // Value of key in the reply of "get ADDR" ("" when absent).
  std::string Get(int addr, const std::string& key);

 private:
  std::string ReadLine(int timeoutMs);
  pid_t pid_ = -1;
  int in_ = -1;   // child's stdin
  int out_ = -1;  // child's stdout
  std::string pending_;
  std::string path_;
};

}  // namespace kvl::test
