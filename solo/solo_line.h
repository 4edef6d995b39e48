// regsolo's line: every exchange of the single-regulator program runs here
// (see protocol/program_line.h) with its framing (10-byte frames of the maker's
// protocol, the receive buffer kept between attempts), the write and read
// problems shown as its numbered messages 110 to 114, owned by the window whose
// command met them, and a lost port closed by the program and told once with
// message 118.
#pragma once

#include <functional>
#include <string>

#include "protocol/program_line.h"
#include "view/view.h"

namespace kvl::solo {

class SoloLine : public ProgramLine {
 public:
  SoloLine(ByteLink& link, Request& rq, Answer& ans, ExchangeLog& log, Services& ui);

  // Runs a command that may exchange (see ProgramLine::Run); its messages are
  // owned by owner (nullptr: the main window).
  bool Run(Dialog* owner, const std::function<void()>& command,
           const std::function<void()>& onLost = {});
  // Writes the request once without waiting for an answer (closing frame,
  // address change) and tells its problems as every write does (111 to 114).
  // True when the write was done (also after 112: the write was issued).
  bool WriteOnce(int port);
  // Adds the line of the last answer with the port index.
  void MesOut(int port);

 private:
  void ReportProblems(const ExchangeResult& r, int port) override;
  std::pair<std::string, std::string> PortLostMessage(int port) const override;

  Services& ui_;
};

}  // namespace kvl::solo
