// Identifying channels over Modbus when a device also answers reads at address 0
// (the address query): only the device at the channel's own address counts.
#include <gtest/gtest.h>

#include "logic/net_fixture.h"
#include "setup/identify.h"
#include "setup/network_dialog.h"

namespace kvl::test {
namespace {

class ModbusIdentityTest : public testing::TestWithParam<const Variant*> {
 protected:
  void SetUp() override {
    rig.Start({3});
    // Every device answers a Modbus read at address 0 as if it were asked at
    // its own address, as the regulators do for the address query.
    rig.link.SetResponder([this](int, const FakeLink::Bytes& f) {
      if (f.size() == 8 && f[0] == 0 && f[1] == 0x03 && !rig.line.devices.count(0)) {
        std::vector<FakeLink::Bytes> all;
        for (const auto& [addr, dev] : rig.line.devices) {
          FakeLink::Bytes g = f;
          g[0] = static_cast<uint8_t>(addr);
          const uint16_t crc = Crc16(g.data(), 6);
          g[6] = static_cast<uint8_t>(crc & 0xFF);
          g[7] = static_cast<uint8_t>(crc >> 8);
          for (auto& a : rig.line.Answer(g)) all.push_back(a);
        }
        return all;
      }
      return rig.line.Answer(f);
    });
    rig.line.devices[3].serial = 4321;
    SelectModbus(rig.S().rq);
    rig.OpenPort();
  }
  NetRig rig{*GetParam()};
};

TEST_P(ModbusIdentityTest, AnAnswerFromAnotherAddressDoesNotIdentifyTheChannel) {
  EXPECT_FALSE(IdentifyExchange(rig.C(), 1, 0));
  ASSERT_TRUE(IdentifyExchange(rig.C(), 0, 3));
  TakeIdentity(rig.C(), 0);
  EXPECT_EQ(rig.T().Data[0].n_ofqx, 4321u);
  // The answer is not taken for a silent address either.
  EXPECT_FALSE(IdentifyExchange(rig.C(), 2, 9));
}

TEST_P(ModbusIdentityTest, ADeviceAtAddressZeroIsStillFound) {
  rig.line.devices[0].serial = 77;
  ASSERT_TRUE(IdentifyExchange(rig.C(), 1, 0));
  TakeIdentity(rig.C(), 1);
  EXPECT_EQ(rig.T().Data[1].n_ofqx, 77u);
}

TEST_P(ModbusIdentityTest, CheckAllLinksOnlyTheChannelsOfTheirOwnDevices) {
  FakeDialog d(IDD_NETWORK);
  NetworkDialog logic(rig.C());
  logic.OnInit(d);
  logic.OnCommand(d, IDX_NET_CHECK, 0);
  EXPECT_EQ(rig.T().Data[0].svjac, 1);
  EXPECT_EQ(d.texts.at(ChannelLineId(*GetParam(), 0)).rfind("Кан.0.КВЛ №4321 Сет.№3", 0), 0u);
  for (int ch = 1; ch < GetParam()->channels; ++ch) {
    EXPECT_EQ(rig.T().Data[ch].svjac, 0) << ch;
    EXPECT_EQ(d.texts.at(ChannelLineId(*GetParam(), ch)),
              "Кан." + std::to_string(ch) + ". Связь не установлена Сет.№0");
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, ModbusIdentityTest, testing::Values(&kNet9, &kNet5),
                         VariantName);

}  // namespace
}  // namespace kvl::test
