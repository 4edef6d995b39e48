// The command and dialog tests' rig: a network program's state on the fake
// view and the fake line, with channel 0 linked to one regulator.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "network/net_program.h"
#include "protocol/frame.h"
#include "serial/fake_link.h"
#include "support/fake_regulator.h"
#include "support/fake_view.h"

namespace kvl::test {

// Expected frame of the maker's protocol: the 8 given bytes and their sum.
inline Bytes K(std::array<uint8_t, 8> b) {
  return KormastAnswer(b);
}
// Expected Modbus frame: the given bytes and their CRC, low byte first.
inline Bytes M(Bytes b) {
  return ModbusAnswer(std::move(b));
}

struct CmdRig {
  explicit CmdRig(const Variant& v = kNet9)
      : s(v), line(link, s.rq, s.ans, s.log, ui), c{s, link, ui, line} {
    link.SetResponder(dev.Responder());
    line.settings.attemptMs = 5;  // a silent device costs five short attempts
    line.settings.refusedPauseMs = 1;
    EXPECT_TRUE(link.Open(0, true));
    tagData& d = s.table.Data[0];
    d.net = dev.addr;
    d.svjac = 1;
    d.n_ofqx = dev.serial;
  }

  // Opens the monitor window as the program does.
  void OpenMonitor() { s.hCnlWnd = &monitor; }
  void Modbus() { SelectModbus(s.rq); }
  tagData& Ch(int ch = 0) { return s.table.Data[ch]; }
  const Bytes& LastFrame() const { return link.written.back().frame; }
  size_t Sent() const { return link.written.size(); }

  NetState s;
  FakeServices ui;
  FakeLink link;
  FakeRegulator dev;
  NetLine line;
  NetContext c;
  FakeDialog monitor{130};
};

}  // namespace kvl::test
