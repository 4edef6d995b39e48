#include "setup/identify.h"

#include "protocol/commands.h"

namespace kvl {

bool IdentifyExchange(NetContext& c, int ch, int addr, bool logFailure) {
  (void)ch;  // the translation needs only the request itself
  Request& rq = c.s.rq;
  cmd::Ident(rq, addr);
  bool ok = c.line.ComWrite(c.s.port0) != 0;
  if (ok || logFailure) c.line.MesOut(c.s.port0);
  // The translated Modbus answer carries the address of the device that sent
  // it in byte 7. Every device answers a read at address 0 (the address
  // query), so a channel at 0 would take the identity of whichever device is
  // on the line: an answer from another address than the one asked is not this
  // channel's device.
  if (ok && rq.fmodbuson && c.s.ans.res[7] != static_cast<uint8_t>(addr)) ok = false;
  return ok;
}

void TakeIdentity(NetContext& c, int ch) {
  if (!c.s.table.Valid(ch)) return;
  const auto& r = c.s.ans.res;
  c.s.version_KVL = r[5];
  tagData& d = c.s.table.Data[ch];
  d.n_ofqx = static_cast<uint32_t>(r[2]) * 256u + r[3];
  d.svjac = 1;
  SetFlags(c.s.table, ch, r.data(), c.s.version_KVL, c.s.hold);
}

}  // namespace kvl
