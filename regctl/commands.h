// The commands of regctl, each returning its exit code:
// 0 done; 1 a regulator was silent or refused; 2 usage error; 3 the port
// cannot be opened or was lost.
#pragma once

#include <string>
#include <vector>

namespace kvl::regctl {

enum Exit : int { kDone = 0, kDeviceFailed = 1, kUsage = 2, kPortFailed = 3 };

// Options every command takes.
struct Common {
  std::string trace;  // --trace FILE
  bool json = false;  // --json
};

// A port and how to speak on it.
struct LineArgs {
  std::string port;
  std::string speed = "19200";       // 9600, 19200, 38400; scan: also "all" or a list
  std::string protocol = "kormast";  // kormast, modbus; scan: also "both"
};

struct ScanArgs {
  int from = 1, to = 254;
  unsigned attemptMs = 0;  // 0: from the speed
};

struct PollArgs {
  std::vector<int> addresses;
  std::string interval = "700ms";
  std::string duration;  // empty: until Ctrl+C
  std::string csv;
};

struct ProfileArgs {
  int address = 0;
  std::string file;
  std::string interval = "700ms";
  std::string onStop = "keep";  // keep, or setpoint=N
  std::string csv;
};

int RunPorts(const Common& c);
int RunScan(const Common& c, const LineArgs& l, const ScanArgs& s);
int RunInfo(const Common& c, const LineArgs& l, int address);
int RunRead(const Common& c, const LineArgs& l, const std::vector<int>& addresses);
int RunSet(const Common& c, const LineArgs& l, int address,
           const std::vector<std::string>& settings, bool yes);
int RunPoll(const Common& c, const LineArgs& l, const PollArgs& p);
int RunProfile(const Common& c, const LineArgs& l, const ProfileArgs& p);

}  // namespace kvl::regctl
