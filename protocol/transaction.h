// One exchange with a device: up to five attempts, each sending the request and
// waiting at most 200 ms for an answer that passed the check; the exchange log
// lines of answers and time-outs.
#pragma once

#include <string>

#include "protocol/exchange_log.h"
#include "protocol/frame.h"
#include "serial/link.h"
#include "shell/view.h"

namespace kvl {

class Transaction {
 public:
  // solo: the single-regulator program (10-byte framing, res kept between
  // attempts, numbered messages, its own log line).
  Transaction(ByteLink& link, Request& rq, Answer& ans, ExchangeLog& log, Services& ui,
              bool solo = false)
      : link_(link), rq_(rq), ans_(ans), log_(log), ui_(ui), solo_(solo) {}

  // Sends rq.com (wlength bytes, check value appended) on port nofcoma. Returns 1
  // when an answer arrived within five attempts (it is then in ans), else 0.
  // A Modbus exception answer ends the transaction at once with 0: the device
  // refused the request.
  int ComWrite(int nofcoma);
  // Writes the request once without waiting for an answer (closing frame, address
  // change of the single-regulator program). True when the write was done.
  bool WriteOnce(int port);

  // Adds the line of the last answer; number is the port or channel index.
  void MesOut(int number);
  // Adds a text line.
  void MesText(const std::string& text) { log_.Add(text); }

  int port0_err = 0;  // result of the last transaction
  int f_com_end = 1;  // 0 while a transaction runs
  std::string buf;    // last diagnostic text (Modbus check mismatch)
  unsigned attemptMs = 200;
  unsigned refusedPauseMs = 50;
  static constexpr int kAttempts = 5;

 private:
  // Shows the messages of a write that did not simply complete; returns true when
  // the write counts as issued.
  bool ReportWrite(const WriteResult& w, int port);
  void ReportNotices();

  ByteLink& link_;
  Request& rq_;
  Answer& ans_;
  ExchangeLog& log_;
  Services& ui_;
  bool solo_;
};

}  // namespace kvl
