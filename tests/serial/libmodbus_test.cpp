// A peer we did not write: a libmodbus RTU server on a pty must accept every
// Modbus request our translation builds, sent through the POSIX link and the
// exchange, and its answers must translate back into the internal layout.
#include <gtest/gtest.h>
#include <modbus.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "exchanger.h"
#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/exchange_log.h"
#include "protocol/modbus.h"
#include "pty_peer.h"
#include "serial/fake_link.h"
#include "serial/posix_link.h"

namespace kvl {
namespace {

using test::Bytes;

constexpr int kAddr = 7;

class ModbusServer {
 public:
  // registers: holding registers 0..registers-1 exist; the others are refused.
  explicit ModbusServer(const std::string& path, int registers = 16) {
    ctx_ = modbus_new_rtu(path.c_str(), 19200, 'N', 8, 1);
    if (!ctx_) throw std::runtime_error("modbus_new_rtu");
    modbus_set_slave(ctx_, kAddr);
    if (modbus_connect(ctx_) != 0) throw std::runtime_error("modbus_connect");
    modbus_set_indication_timeout(ctx_, 0, 50000);  // lets the loop see the stop flag
    map_ = modbus_mapping_new(16, 0, registers, 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~ModbusServer() {
    stop_ = true;
    thread_.join();
    modbus_mapping_free(map_);
    modbus_close(ctx_);
    modbus_free(ctx_);
  }
  uint16_t Reg(int i) {
    std::lock_guard<std::mutex> lk(m_);
    return map_->tab_registers[i];
  }
  void SetReg(int i, uint16_t v) {
    std::lock_guard<std::mutex> lk(m_);
    map_->tab_registers[i] = v;
  }
  uint8_t Coil(int i) {
    std::lock_guard<std::mutex> lk(m_);
    return map_->tab_bits[i];
  }
  std::vector<Bytes> Received() {
    std::lock_guard<std::mutex> lk(m_);
    return received_;
  }

 private:
  void Run() {
    uint8_t q[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop_) {
      const int rc = modbus_receive(ctx_, q);
      if (rc <= 0) continue;  // time-out, another address, or a bad frame
      std::lock_guard<std::mutex> lk(m_);
      received_.emplace_back(q, q + rc);
      modbus_reply(ctx_, q, rc, map_);
    }
  }
  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* map_ = nullptr;
  std::atomic<bool> stop_{false};
  std::mutex m_;
  std::vector<Bytes> received_;
  std::thread thread_;
};

class LibmodbusPeer : public ::testing::Test, public test::Exchanger {
 protected:
  explicit LibmodbusPeer(int registers = 16) : server(bridge.pathA(), registers) {}
  test::PtyBridge bridge;
  ModbusServer server;
  PosixLink link{Paths()};

  std::array<std::string, kPortCount> Paths() {
    std::array<std::string, kPortCount> p;
    p[0] = bridge.pathB();
    return p;
  }
  void SetUp() override {
    ASSERT_TRUE(link.Open(0, true));
    SelectModbus(rq);
    st.attemptMs = 1000;  // time to spare on a busy machine
  }
  // Translates, sends, and translates the answer back; false on no answer.
  bool Exchange() { return Exchanger::Run(link) == 1; }
};

// A device with holding registers 0..3 only.
class LibmodbusSmallPeer : public LibmodbusPeer {
 protected:
  LibmodbusSmallPeer() : LibmodbusPeer(4) {}
};

TEST_F(LibmodbusPeer, IdentifyAndPollAreReadBackIntoTheInternalLayout) {
  server.SetReg(1, 0x1234);        // serial number
  server.SetReg(2, 0x00A1);        // status byte 1
  server.SetReg(3, 0x0055);        // status byte 2
  server.SetReg(4, 5000);          // setpoint, hundredths of a per cent
  server.SetReg(5, 0x8000 | 250);  // flow -2.50 %, sign and magnitude
  cmd::Ident(rq, kAddr);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(ans.mprob, 11);
  EXPECT_EQ(ans.res[0], CMD_IDENT);
  EXPECT_EQ(ans.res[7], kAddr);
  EXPECT_EQ(ans.res[1], 0xA1);
  EXPECT_EQ(ans.res[2], 0x12);
  EXPECT_EQ(ans.res[3], 0x34);
  EXPECT_EQ(ans.res[6], 0x55);

  cmd::Measure(rq, kAddr);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(ans.mprob, 9);
  EXPECT_EQ(ans.res[0], CMD_MEASURE);
  EXPECT_EQ((ans.res[2] << 8) | ans.res[3], 0x8000 | 250);
  EXPECT_EQ((ans.res[4] << 8) | ans.res[5], 5000);
  EXPECT_TRUE(log.Lines().empty()) << "no attempt was lost";
}

TEST_F(LibmodbusPeer, EveryWriteRequestIsAcceptedAndTakesEffect) {
  cmd::Setpoint(rq, kAddr, 7350);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Reg(4), 7350);

  cmd::InputSelect(rq, kAddr, 0);  // digital input: coil 1 := 1
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Coil(1), 1);
  cmd::InputSelect(rq, kAddr, 1);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Coil(1), 0);

  cmd::Valve(rq, kAddr, 1);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Coil(2), 1);
  EXPECT_EQ(server.Coil(3), 0);
  cmd::Valve(rq, kAddr, 2);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Coil(2), 0);
  EXPECT_EQ(server.Coil(3), 1);
  cmd::Valve(rq, kAddr, 0);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Coil(2) | server.Coil(3), 0);

  cmd::Kind(rq, kAddr, cmd::KindByte(true, false));
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Coil(5), 1);
  cmd::Mode(rq, kAddr, cmd::KindByte(false, true));
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Coil(0), 1);

  cmd::Rasre(rq, kAddr, 1);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Coil(4), 1);

  cmd::Zero(rq, kAddr);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Coil(6), 1);

  cmd::Speed(rq, kAddr, 2);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Reg(6), cmd::SpeedCode(2));
  EXPECT_EQ(ans.res[2], cmd::SpeedCode(2)) << "the echoed code comes back in D2";

  cmd::SetNet(rq, kAddr, 33);
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(server.Reg(0), 33);
  EXPECT_EQ(ans.res[2], 33);

  EXPECT_EQ(server.Received().size(), 12u);
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(LibmodbusPeer, AddressQueryIsABroadcastTheServerTakesSilently) {
  // libmodbus servers never answer address 0, so only the receive side can
  // show that the frame is right: the server takes it as a valid request.
  st.attemptMs = 50;
  cmd::GetNet(rq);
  EXPECT_FALSE(Exchange());
  const auto got = server.Received();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0], ModbusAnswer({0, 3, 0, 0, 0, 2}));
  EXPECT_EQ(log.Lines().size(), 5u);
}

TEST_F(LibmodbusSmallPeer, ExceptionAnswerOfAnUnknownRegisterIsARefusal) {
  cmd::Measure(rq, kAddr);  // registers 4 and 5, beyond the server's map
  EXPECT_FALSE(Exchange());
  EXPECT_EQ(last.outcome, Outcome::kRefused);
  EXPECT_EQ(last.attempts, 1) << "a refusal is not asked again";
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0].rfind("L=:5Modbus 7-83- 2-", 0), 0u) << log.Lines()[0];
}

}  // namespace
}  // namespace kvl
