// A desktop program's use of the exchange (exchange.h). Every exchange of the
// program runs through ComWrite, on the program's request and receive buffers,
// with its log lines going into the program's exchange log. A program derives
// from it to say in its own words what went wrong on the way (ReportProblems)
// and that a port has gone away (PortLostMessage); the words reach the operator
// through the Tell function of the command that met them, so that the window
// that asked owns the message. Nothing here shows anything itself.
//
// One command at a time: a command that may exchange (a menu command, a
// dialog's command, a poll tick) runs through Run, which holds the line from
// before its first exchange until the messages after its last one are gone.
// Whatever a message box's loop lets in meanwhile (a poll tick, another
// command, a click in another window) finds the line busy and does nothing: a
// tick is skipped, not queued. A port found lost by a command is handled once,
// when the command has returned and while the line is still held: the program
// closes it (onPortLost), the asking window follows (onLost), and one message
// names the port.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/exchange.h"
#include "protocol/exchange_log.h"
#include "protocol/frame.h"
#include "serial/link.h"

namespace kvl {

class ProgramLine {
 public:
  // Shows a message (text, caption) to the operator.
  using TellFn = std::function<void(const std::string& text, const std::string& caption)>;

  // tellMain shows a message owned by the main window.
  ProgramLine(ByteLink& link, Request& rq, Answer& ans, ExchangeLog& log, TellFn tellMain)
      : link_(link), rq_(rq), ans_(ans), log_(log), tellMain_(std::move(tellMain)) {}
  virtual ~ProgramLine() = default;
  ProgramLine(const ProgramLine&) = delete;
  ProgramLine& operator=(const ProgramLine&) = delete;

  // Runs the request in rq on port (the programs pass their current port) and
  // adds its log lines. Returns 1 when the device answered (ans then holds the
  // answer in the internal layout), else 0; the result is also in port0_err.
  // A port found lost makes every later exchange of the command fail at once.
  int ComWrite(int port);
  // Adds a text line to the exchange log.
  void MesText(const std::string& text) { log_.Add(text); }

  // Runs a command that may exchange, its messages shown through tell. False,
  // with nothing run, while another command holds the line.
  bool Run(const TellFn& tell, const std::function<void()>& command,
           const std::function<void()>& onLost = {});
  // True while a command holds the line.
  bool Busy() const { return held_ > 0; }
  // True when the running command has met a lost port. The command leaves out
  // its own failure messages: the one message about the port says it all.
  bool PortLost() const { return lostPort_ >= 0; }
  // Shows a message of the running command (of the main window when none).
  void Tell(const std::string& text, const std::string& caption);

  // The program's part of a lost port: stop polling, close the port, menus as
  // after closing. Set by the program.
  std::function<void(int port)> onPortLost;

  ExchangeSettings settings;
  Outcome outcome = Outcome::kSilent;  // of the last exchange
  int port0_err = 0;                   // 1 when the last exchange was answered
  std::string buf;                     // last Modbus check mismatch text

 protected:
  // The answer of the last exchange as it came off the line (see Exchange).
  const std::vector<uint8_t>& Raw() const { return raw_; }
  // What went wrong on the way of an exchange that did not meet a lost port
  // (writes that did not simply complete, the watcher's notices), told with
  // Tell.
  virtual void ReportProblems(const ExchangeResult& r, int port) = 0;
  // The message naming a port that has gone away: text and caption.
  virtual std::pair<std::string, std::string> PortLostMessage(int port) const = 0;

  ByteLink& link_;
  Request& rq_;
  Answer& ans_;
  ExchangeLog& log_;

 private:
  TellFn tellMain_;
  const TellFn* tell_ = nullptr;  // the running command's
  int held_ = 0;
  int lostPort_ = -1;
  std::vector<uint8_t> raw_;
};

}  // namespace kvl
