#include "protocol/exchange_log.h"

#include <algorithm>
#include <cstdio>

#include "protocol/modbus.h"

namespace kvl {

void ExchangeLog::Add(const std::string& line) {
  bool removed = false;
  if (lines_.size() > m_d1) {
    lines_.pop_front();
    removed = true;
  }
  lines_.push_back(line);
  if (observer_) observer_(line, removed);
}

std::string KormastLine(const uint8_t* r, int mprob, int number) {
  char b[160];
  std::snprintf(b, sizeof b, "%d;%d;%d-%d;%d-%d;%d-%d;%d-%d;%d;%d", r[0], r[1], r[2], r[3], r[4],
                r[5], r[6], r[7], r[8], r[9], mprob, number);
  return b;
}

std::string ModbusLine(const uint8_t* r, int mprob) {
  // "%s:%d%s" of "L=", mprob and "Modbus", whatever the number of digits.
  std::string s = "L=:" + std::to_string(mprob) + "Modbus";
  char b[8];
  const int n = std::clamp(mprob, 0, static_cast<int>(kResSize));
  for (int i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%2X-", r[i]);
    s += b;
  }
  if (IsModbusException(r, static_cast<size_t>(n))) s += "-error";
  return s;
}

std::string SoloAnswerLine(const uint8_t* r, int port) {
  char b[160];
  std::snprintf(b, sizeof b, "%d;%d;%d-%d;%d-%d;%d-%d;%d-%d;%d", r[0], r[1], r[2], r[3], r[4], r[5],
                r[6], r[7], r[8], r[9], port);
  return b;
}

std::string RequestDump(const uint8_t* c) {
  char b[80];
  std::snprintf(b, sizeof b, "%d-%d;%d-%d;%d-%d;%d-%d;%d-%d", c[0], c[1], c[2], c[3], c[4], c[5],
                c[6], c[7], c[8], c[9]);
  return b;
}

std::string TimeOutLine(int attempt) {
  return "TimeOut" + std::to_string(attempt);
}

}  // namespace kvl
