#include "reggate/store.h"

namespace kvl::gate {

Store::Store(const std::vector<RegulatorConf>& regulators) {
  for (const auto& r : regulators) {
    RegulatorState s;
    s.address = r.address;
    s.name = r.name;
    s.reading.address = r.address;
    states_.push_back(s);
  }
}

std::vector<RegulatorState> Store::All() const {
  std::lock_guard lock(mutex_);
  return states_;
}

std::optional<RegulatorState> Store::ByAddress(int address) const {
  std::lock_guard lock(mutex_);
  for (const auto& s : states_)
    if (s.address == address) return s;
  return std::nullopt;
}

LineState Store::Line() const {
  std::lock_guard lock(mutex_);
  return line_;
}

void Store::SetIdentity(size_t index, const ops::Identity& id) {
  std::lock_guard lock(mutex_);
  RegulatorState& s = states_.at(index);
  s.identity = id;
  s.lastAnswer = SteadyClock::now();
  ++s.version;
}

void Store::SetReading(size_t index, const ops::Reading& r) {
  std::lock_guard lock(mutex_);
  RegulatorState& s = states_.at(index);
  s.reading = r;
  if (!r.serial && s.identity) s.reading.serial = s.identity->serial;
  if (r.outcome == ops::Outcome::kAnswered) s.lastAnswer = SteadyClock::now();
  s.polled = true;
  ++s.version;
}

void Store::SetLine(bool open, const std::string& message) {
  std::lock_guard lock(mutex_);
  if (line_.open == open && line_.message == message) return;
  line_.open = open;
  line_.message = message;
  ++line_.version;
}

}  // namespace kvl::gate
