// One caller of the exchange in the serial tests: its request and receive
// buffers, its settings and exchange log, the result of its last exchange.
// Exchanges made here add their log lines, as a program's line does.
#pragma once

#include "protocol/exchange.h"
#include "protocol/exchange_log.h"

namespace kvl::test {

struct Exchanger {
  Request rq;
  Answer ans;
  ExchangeLog log;
  ExchangeSettings st;
  ExchangeResult last;

  // One exchange of rq on port; 1 when answered, else 0.
  int Run(ByteLink& link, int port = 0) {
    last = Exchange(link, port, rq, ans, st);
    for (const auto& line : last.log) log.Add(line);
    return last.Answered() ? 1 : 0;
  }
};

}  // namespace kvl::test
