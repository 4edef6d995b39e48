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
#include "shell/view.h"

namespace kvl::solo {

class SoloLine : public ProgramLine {
 public:
  SoloLine(ByteLink& link, Request& rq, Answer& ans, ExchangeLog& log, Services& ui);

  // Runs a command that may exchange; its messages are owned by owner (nullptr:
  // the main window). When the command met a lost port, onPortLost closes it,
  // then onLost brings the asking window up to date, then message 118 names the
  // port. False, with nothing run, while another command holds the line.
  bool Run(Dialog* owner, const std::function<void()>& command,
           const std::function<void()>& onLost = {});
  // Writes the request once without waiting for an answer (closing frame,
  // address change). True when the write was done.
  bool WriteOnce(int port);
  // Adds the line of the last answer with the port index.
  void MesOut(int port);
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

}  // namespace kvl::solo
