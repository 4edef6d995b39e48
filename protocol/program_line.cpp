#include "protocol/program_line.h"

namespace kvl {

int ProgramLine::ComWrite(int port) {
  f_com_end = 0;
  const ExchangeResult r = Exchange(link_, port, rq_, ans_, settings);
  for (const std::string& line : r.log) log_.Add(line);
  outcome = r.outcome;
  raw_ = r.raw;
  if (!r.diagnostic.empty()) buf = r.diagnostic;
  port0_err = r.Answered() ? 1 : 0;
  f_com_end = 1;
  if (r.outcome != Outcome::kPortLost) {
    ReportProblems(r, port);
  } else if (!PortLost()) {
    lostPort_ = port;
    if (!Busy()) Hold([] {});  // an exchange outside a command: handled at once
  }
  return port0_err;
}

bool ProgramLine::Hold(const std::function<void()>& command) {
  if (Busy()) return false;
  ++held_;
  command();
  if (PortLost()) PortGone(lostPort_);
  lostPort_ = -1;
  --held_;
  return true;
}

}  // namespace kvl
