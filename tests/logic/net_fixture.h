// A network program on the fake view and the fake line, with its configuration
// file in a private temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "network/config_file.h"
#include "network/net_program.h"
#include "support/fake_regulator.h"
#include "support/fake_view.h"
#include "support/temp_dir.h"

namespace kvl::test {

// Fake services that also let a test look at the screen during a pause.
class RigServices : public FakeServices {
 public:
  void Pause(unsigned ms) override {
    FakeServices::Pause(ms);
    if (onPause) onPause(ms);
  }
  std::function<void(unsigned)> onPause;
};

struct NetRig {
  explicit NetRig(const Variant& v) : variant(v) {
    link.SetResponder(line.Responder());
    prog = std::make_unique<NetProgram>(v, link, ui);
    prog->State().configPath = dir.File("KVL.icx");
    prog->Line().settings.attemptMs = 5;  // silent devices cost 5 short attempts, not 1 s
    prog->Line().settings.refusedPauseMs = 1;
  }

  // Writes a configuration file whose channel k has address addrs[k].
  void WriteConfig(const std::vector<int>& addrs, int port = 0) {
    ChannelTable t(variant);
    for (size_t k = 0; k < addrs.size(); ++k) t.Data[k].net = addrs[k];
    ASSERT_TRUE(SaveConfiguration(t, port, prog->State().configPath).empty());
  }

  // Starts the program with a configuration file (all addresses 0 unless given).
  void Start(const std::vector<int>& addrs = {}) {
    WriteConfig(addrs);
    ASSERT_TRUE(prog->OnCreate());
  }

  // Opens the current port as the setup dialogs do and links channel ch to a
  // device at addr.
  void OpenPort() { ASSERT_TRUE(link.Open(prog->State().port0, true)); }
  void Link(int ch, int addr, uint16_t serial = 1000) {
    auto& d = prog->State().table.Data[ch];
    d.net = addr;
    d.svjac = 1;
    d.n_ofqx = serial;
    line.devices[addr].serial = serial;
  }

  NetState& S() { return prog->State(); }
  NetContext& C() { return prog->Context(); }
  ChannelTable& T() { return prog->State().table; }

  const Variant& variant;
  TempDir dir;
  RigServices ui;
  FakeLink link;
  FakeLine line;
  std::unique_ptr<NetProgram> prog;
};

inline std::string VariantName(const testing::TestParamInfo<const Variant*>& i) {
  return i.param->program;
}

}  // namespace kvl::test
