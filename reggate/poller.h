// The one thread that talks to the line. It opens the port (again and again,
// with a growing pause, while it cannot), polls every configured regulator
// once per interval with the programs' poll request, identifies a regulator
// when it links, after a command and every 10 s (for its status texts), and
// runs the commands that network clients queued between two exchanges, so a
// command reaches the line within one exchange of the poll under way.
//
// Network clients never wait for the poller while it talks to the line: they
// read the Store, and a command's result comes back through its callback (on
// the poller's thread; it must not block).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "lineops/settings.h"
#include "reggate/config.h"
#include "reggate/store.h"
#include "serial/link.h"

namespace kvl::gate {

class Poller {
 public:
  using Done = std::function<void(const ops::SetResult&)>;
  enum class Queued { kYes, kUnknownRegulator, kNotOffered, kBusy };

  // link: port index 0 is the line's port.
  Poller(const Config& config, Store& store, ByteLink& link);
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  void Start();
  // Finishes the exchange under way, answers the queued commands with
  // port_lost, closes the port and ends the thread.
  void Stop();

  // Queues a setting for the regulator at address. Address and speed changes
  // are not offered: they would take the regulator off the configured line.
  Queued Submit(int address, const ops::Setting& s, Done done);

  static constexpr size_t kMaxQueued = 64;

 private:
  struct Job {
    int address;
    ops::Setting setting;
    Done done;
  };
  void Run();
  bool OpenLine();
  void PollOne(size_t index);
  void RunJobs();
  void FailJobs(const std::string& why);
  // Every regulator's last exchange becomes port_lost (once per outage).
  void MarkAllLost();
  // Waits until `until`, running commands as they come; false when stopping.
  bool Idle(SteadyClock::time_point until);

  const Config& config_;
  Store& store_;
  std::unique_ptr<ops::Line> line_;
  std::vector<SteadyClock::time_point> identified_;
  std::vector<bool> reidentify_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stop_ = false;
  bool open_ = false;  // under mutex_: Submit answers at once while the line is down
  std::string down_;   // why the line is down
  std::thread thread_;
};

// Results of commands that could not go out.
ops::SetResult NotSent(ops::Outcome o, const std::string& why);

}  // namespace kvl::gate
