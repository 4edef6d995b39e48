#include "protocol/program_line.h"

namespace kvl {

int ProgramLine::ComWrite(int port) {
  const ExchangeResult r = Exchange(link_, port, rq_, ans_, settings);
  for (const std::string& line : r.log) log_.Add(line);
  outcome = r.outcome;
  raw_ = r.raw;
  if (!r.diagnostic.empty()) buf = r.diagnostic;
  port0_err = r.Answered() ? 1 : 0;
  if (r.outcome != Outcome::kPortLost) {
    ReportProblems(r, port);
  } else if (!PortLost()) {
    lostPort_ = port;
    if (!Busy()) Run(tellMain_, [] {});  // an exchange outside a command: handled at once
  }
  return port0_err;
}

bool ProgramLine::Run(const TellFn& tell, const std::function<void()>& command,
                      const std::function<void()>& onLost) {
  if (Busy()) return false;
  ++held_;
  tell_ = &tell;
  command();
  if (PortLost()) {
    if (onPortLost) onPortLost(lostPort_);
    if (onLost) onLost();
    const auto [text, caption] = PortLostMessage(lostPort_);
    Tell(text, caption);
  }
  lostPort_ = -1;
  tell_ = nullptr;
  --held_;
  return true;
}

void ProgramLine::Tell(const std::string& text, const std::string& caption) {
  (tell_ ? *tell_ : tellMain_)(text, caption);
}

}  // namespace kvl
