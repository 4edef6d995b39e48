// The network programs' line: every exchange of regnet9 and regnet5 runs here
// (see protocol/program_line.h), with the write and read problems shown in
// these programs' texts, owned by the window whose command met them, and a lost
// port closed by the program and told once.
#pragma once

#include <functional>
#include <string>

#include "protocol/program_line.h"
#include "view/view.h"

namespace kvl {

class NetLine : public ProgramLine {
 public:
  NetLine(ByteLink& link, Request& rq, Answer& ans, ExchangeLog& log, Services& ui)
      : ProgramLine(link, rq, ans, log, TellTo(ui, nullptr)), ui_(ui) {}

  // Runs a command that may exchange (see ProgramLine::Run); its messages are
  // owned by owner (nullptr: the main window).
  bool Run(Dialog* owner, const std::function<void()>& command,
           const std::function<void()>& onLost = {}) {
    return ProgramLine::Run(TellTo(ui_, owner), command, onLost);
  }
  // Adds the line of the last answer; number is the port or channel index. An
  // exception answer is in the log already and is not added again.
  void MesOut(int number);

 private:
  // Messages owned by owner (the main window when null or gone).
  static TellFn TellTo(Services& ui, Dialog* owner);
  void ReportProblems(const ExchangeResult& r, int port) override;
  std::pair<std::string, std::string> PortLostMessage(int port) const override;

  Services& ui_;
};

}  // namespace kvl
