// What the gateway knows of its line and each regulator: written by the poller,
// read by the Modbus TCP clients and the MQTT client. Readers get copies, so no
// network client ever holds the poller up for longer than a copy.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lineops/reading.h"
#include "lineops/regulator.h"
#include "reggate/config.h"

namespace kvl::gate {

using SteadyClock = std::chrono::steady_clock;

struct RegulatorState {
  int address = 0;
  std::string name;
  std::optional<ops::Identity> identity;  // from the last identify that answered
  ops::Reading reading;                   // the last poll, whatever its outcome
  bool polled = false;                    // reading holds a poll
  std::optional<SteadyClock::time_point> lastAnswer;
  uint64_t version = 0;  // grows with every change

  // The last exchange answered.
  bool Linked() const { return polled && reading.outcome == ops::Outcome::kAnswered; }
};

struct LineState {
  bool open = false;
  std::string message;  // why it is not open ("" when open)
  uint64_t version = 0;
};

class Store {
 public:
  explicit Store(const std::vector<RegulatorConf>& regulators);

  std::vector<RegulatorState> All() const;
  std::optional<RegulatorState> ByAddress(int address) const;
  LineState Line() const;

  // The poller's writes.
  void SetIdentity(size_t index, const ops::Identity& id);
  void SetReading(size_t index, const ops::Reading& r);
  void SetLine(bool open, const std::string& message);
  size_t Size() const { return states_.size(); }

 private:
  mutable std::mutex mutex_;
  std::vector<RegulatorState> states_;
  LineState line_;
};

}  // namespace kvl::gate
