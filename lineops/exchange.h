// The one place where the tools exchange a request and its answer with a
// regulator: the protocol's exchange (protocol/exchange.h) on the line's port,
// with the line's protocol, attempts and trace. Every operation of this
// library goes through it.
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

// Sends rq (built in the internal "Кормаст-10м" form, translated when the line
// speaks Modbus) with the attempts of timing and returns how it ended, with
// the answer in the internal layout. Answers that belong to other requests are
// not taken; a Modbus exception is a refusal. The frame sent, the answer
// taken and the time-outs go to the line's trace. Shows nothing.
ExchangeResult Exchange(Line& line, Request rq, const Timing& timing);
inline ExchangeResult Exchange(Line& line, const Request& rq) {
  return Exchange(line, rq, line.timing);
}

// A fresh request buffer in the line's protocol (so that the builders of
// protocol/commands.h set the Modbus selectors where they need them).
Request NewRequest(const Line& line);

}  // namespace kvl::ops
