#include "lineops/exchange.h"

namespace kvl::ops {

Request NewRequest(const Line& line) {
  Request rq;
  rq.fmodbuson = line.Protocol();
  return rq;
}

ExchangeResult Exchange(Line& line, Request rq, const Timing& timing) {
  rq.fmodbuson = line.Protocol();
  ExchangeSettings settings = timing;
  settings.trace = line.Trace();
  ExchangeResult res;
  const kvl::ExchangeResult r = kvl::Exchange(line.Link(), line.Port(), rq, res.ans, settings);
  res.outcome = r.outcome;
  res.log = r.log;
  return res;
}

}  // namespace kvl::ops
