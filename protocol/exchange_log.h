// The exchange log: the lines a list box shows, newest last, at most 14 kept.
// Platform-free; the list box mirrors it through the observer.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "protocol/frame.h"

namespace kvl {

class ExchangeLog {
 public:
  static constexpr uint8_t m_d1 = 13;  // trim threshold: 14 lines are kept

  // Called after each change: removedFirst is true when the oldest line was dropped.
  using Observer = std::function<void(const std::string& added, bool removedFirst)>;

  void SetObserver(Observer o) { observer_ = std::move(o); }
  // Appends a line; drops the oldest first when more than 13 are held.
  void Add(const std::string& line);
  const std::deque<std::string>& Lines() const { return lines_; }
  uint8_t m_len() const { return static_cast<uint8_t>(lines_.size()); }

 private:
  std::deque<std::string> lines_;
  Observer observer_;
};

// Line of an answer in the maker's protocol, network programs:
// "%d;%d;%d-%d;%d-%d;" bytes 0..5, "%d-%d;%d-%d;%d;%d" bytes 6..9, mprob, number.
std::string KormastLine(const uint8_t* res, int mprob, int number);
// Line of a raw Modbus answer: "L=:<mprob>Modbus" then every byte as "%2X-",
// then "-error" when the answer is a Modbus exception.
std::string ModbusLine(const uint8_t* res, int mprob);
// Line of an answer in the single-regulator program:
// "%d;%d;%d-%d;%d-%d;" bytes 0..5, "%d-%d;%d-%d;%d" bytes 6..9 and the port index.
std::string SoloAnswerLine(const uint8_t* res, int port);
// The ten bytes of a request frame as "%d-%d;%d-%d;%d-%d;%d-%d;%d-%d", the text
// of the message about a write that failed with line errors.
std::string RequestDump(const uint8_t* com);
// "TimeOut" followed by the attempt number.
std::string TimeOutLine(int attempt);

}  // namespace kvl
