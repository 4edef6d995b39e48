// One exchange with a device: the one operation every caller uses to talk to a
// regulator (the programs' commands, dialogs and polling, regctl, reggate).
//
//   Request rq;                      // the internal "Кормаст-10м" frame
//   cmd::Measure(rq, 5);             // rq.fmodbuson says which protocol is in force
//   Answer ans;
//   ExchangeResult r = Exchange(link, port, rq, ans);
//   if (r.Answered()) ... decode ans.res in the internal layout ...
//
// Exchange translates the request into Modbus RTU when Modbus is in force
// (in place: rq.com is the request buffer, whose bytes later requests may
// leave as they are), then makes up to `attempts` attempts: append the check
// value, arm the port's receiver for this request, write, wait up to
// `attemptMs` for an answer that passed the check value and belongs to the
// request (protocol/answer_match.h). A write that could not be issued pauses
// `refusedPauseMs` and counts as an attempt. The accepted answer is translated
// back into the internal layout, so every decoder sees one layout.
//
// It never shows, logs or waits for anything else: the exchange log lines it
// made, the writes that went wrong and what the port's watcher reported come
// back with the outcome, and each program turns them into its own messages.
// A caller that keeps a frame trace (regctl --trace) gives a FrameSink, which
// sees each frame as it is written and the answer as it is taken.
// It blocks the calling thread for at most attempts x (attemptMs or the write
// time plus refusedPauseMs). One exchange at a time per port: the receiver of
// a port serves one waiting caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "serial/link.h"
#include "serial/receiver.h"

namespace kvl {

enum class Outcome {
  kAnswered,     // an answer that belongs to the request arrived
  kSilent,       // requests went out, no answer came within the attempts
  kRefused,      // the device refused the request (a Modbus exception answer)
  kWriteFailed,  // no attempt could be written (port not open, writes refused)
  kPortLost,     // the port has gone away (adapter pulled, other end closed)
};

// Sees the frames of an exchange as they go, on the thread that runs it.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // A frame about to be written (sent true), or the answer taken (sent false),
  // as on the line.
  virtual void Frame(bool sent, int fmodbuson, const uint8_t* p, size_t n) = 0;
  // What else happened: a write that went wrong, answers of other requests
  // dropped, a time-out ("TimeOut<n>").
  virtual void Note(const std::string& text) = 0;
};

struct ExchangeSettings {
  int attempts = 5;
  unsigned attemptMs = 200;      // wait for an answer after each write
  unsigned refusedPauseMs = 50;  // pause after a write that could not be issued
  // kNetwork: the network programs' framing, both protocols. kSolo: the
  // single-regulator program's framing: 10-byte frames of the maker's protocol
  // only, whatever rq.fmodbuson says, and the receive buffer kept from one
  // attempt to the next.
  Framing framing = Framing::kNetwork;
  FrameSink* trace = nullptr;  // sees every frame when set
};

struct ExchangeResult {
  Outcome outcome = Outcome::kSilent;
  int attempts = 0;  // attempts made
  // Exchange log lines, in order: "TimeOut<n>" for attempt n without an answer,
  // and the line of a Modbus exception answer (it is logged here, once).
  std::vector<std::string> log;
  // Every write that did not simply complete, in the order of the attempts.
  std::vector<WriteResult> writeProblems;
  // What the port's watcher reported meanwhile (a failed read, say).
  std::vector<LinkNotice> notices;
  // Modbus: the text of the last answer that failed its CRC ("response..."),
  // empty when none did.
  std::string diagnostic;
  // The accepted answer as it came off the line (Modbus: before translation),
  // for the exchange log; empty when none was accepted.
  std::vector<uint8_t> raw;

  bool Answered() const { return outcome == Outcome::kAnswered; }
};

// Runs one exchange of rq on port. On kAnswered, ans holds the answer in the
// internal layout and ans.mprob its length on the line. On kRefused, ans holds
// the exception answer as it came (5 bytes). Otherwise ans holds the bytes
// gathered for the last attempt (mprob 0), which the log lines of a failed
// exchange show. A request with no Modbus form, asked for while Modbus is in
// force (the firmware date), is not sent: kWriteFailed.
ExchangeResult Exchange(ByteLink& link, int port, Request& rq, Answer& ans,
                        const ExchangeSettings& settings = {});

}  // namespace kvl
