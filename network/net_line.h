// The network programs' line: every exchange of regnet9 and regnet5 runs here
// (see protocol/program_line.h), with the write and read problems shown in
// these programs' texts, owned by the window whose command met them, and a lost
// port closed by the program and told once.
#pragma once

#include <functional>
#include <string>

#include "protocol/program_line.h"
#include "shell/view.h"

namespace kvl {

class NetLine : public ProgramLine {
 public:
  NetLine(ByteLink& link, Request& rq, Answer& ans, ExchangeLog& log, Services& ui)
      : ProgramLine(link, rq, ans, log), ui_(ui) {}

  // Runs a command that may exchange; its messages are owned by owner (nullptr:
  // the main window). When the command met a lost port, onPortLost closes it,
  // then onLost brings the asking window up to date, then one message names
  // the port. False, with nothing run, while another command holds the line.
  bool Run(Dialog* owner, const std::function<void()>& command,
           const std::function<void()>& onLost = {});
  // Adds the line of the last answer; number is the port or channel index. An
  // exception answer is in the log already and is not added again.
  void MesOut(int number);
  // Shows a message owned by the window of the running command (the main
  // window when none).
  void Tell(const std::string& text, const std::string& caption);

  // The program's part of a lost port: stop polling, close it, menus as after
  // closing. Set by the program.
  std::function<void(int port)> onPortLost;

 private:
  void ReportProblems(const ExchangeResult& r, int port) override;
  void PortGone(int port) override;

  Services& ui_;
  Dialog* owner_ = nullptr;
  const std::function<void()>* onLost_ = nullptr;
};

// Message of a port that has gone away: "Порт COM1 отключен" / "ErrorSvjac".
std::string PortLostText(int port);

}  // namespace kvl
