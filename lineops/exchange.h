// The one place where the tools exchange a request and its answer with a
// regulator. Every operation of this library goes through Exchange.
#pragma once

#include <string>
#include <vector>

#include "lineops/line.h"
#include "lineops/outcome.h"
#include "protocol/frame.h"

namespace kvl::ops {

struct ExchangeResult {
  Outcome outcome = Outcome::kSilent;
  Answer ans;                    // when answered: the answer in the maker's layout
  std::vector<std::string> log;  // the exchange log lines it made
};

// Sends rq (built in the internal "Кормаст-10м" form; translated here when the
// line speaks Modbus) with the attempts of timing, waits for an answer that
// belongs to the request (same code and address, or the Modbus function and
// lengths it asked for), and translates a Modbus answer back. Answers of other
// requests (a late answer to an earlier request) are dropped and the wait goes
// on. A Modbus exception, or a "Кормаст-10м" answer with code 0 from the
// addressed device, is a refusal. Shows nothing.
ExchangeResult Exchange(Line& line, Request rq, const Timing& timing);
inline ExchangeResult Exchange(Line& line, const Request& rq) {
  return Exchange(line, rq, line.timing);
}

// A fresh request buffer in the line's protocol (so that the builders of
// protocol/commands.h set the Modbus selectors where they need them).
Request NewRequest(const Line& line);

}  // namespace kvl::ops
