// The POSIX link on real ptys: line settings, exclusivity, the watcher's life.
#include "serial/posix_link.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "pty_peer.h"
#include "serial/fake_link.h"

namespace kvl {
namespace {

using test::Bytes;
using test::PtyPair;

std::array<std::string, kPortCount> Paths(int port, const std::string& path) {
  std::array<std::string, kPortCount> p;
  p[port] = path;
  return p;
}

// CPU seconds this process uses while the calling thread sleeps for ms. A
// watcher that spins shows up here whatever the load; one that sleeps in poll()
// uses next to nothing.
double CpuWhileSleeping(int ms) {
  auto cpu = [] {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  };
  const double c0 = cpu();
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return cpu() - c0;
}

Bytes ReadMaster(int fd, size_t n) {
  Bytes got;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (got.size() < n && std::chrono::steady_clock::now() < until) {
    uint8_t b[64];
    ssize_t r = ::read(fd, b, sizeof b);
    if (r > 0) got.insert(got.end(), b, b + r);
  }
  return got;
}

TEST(PosixLinkOpen, RefusesMissingPortsAndPaths) {
  PosixLink link(Paths(0, "/dev/nonexistent-tty-for-test"));
  EXPECT_FALSE(link.Open(0, true));
  EXPECT_FALSE(link.IsOpen(0));
  EXPECT_FALSE(link.Open(1, false));  // no path configured
  EXPECT_FALSE(link.Open(-1, false));
  EXPECT_FALSE(link.Open(kPortCount, false));
  EXPECT_EQ(link.Write(0, reinterpret_cast<const uint8_t*>("x"), 1).status, WriteStatus::kNoHandle);
  link.Close(0);  // closing a closed port does nothing
}

TEST(PosixLinkOpen, SomethingThatIsNotATerminalIsRefused) {
  PosixLink link(Paths(2, "/dev/null"));
  EXPECT_FALSE(link.Open(2, true));
  EXPECT_FALSE(link.IsOpen(2));
}

TEST(PosixLinkOpen, LineSettingsAndSpeedIndexes) {
  PtyPair pty;
  PosixLink link(Paths(9, pty.path()));
  ASSERT_TRUE(link.Open(9, false));
  EXPECT_EQ(ByteLink::PortName(9), "COM10");
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  const std::pair<int, speed_t> speeds[] = {{0, B9600}, {2, B38400}, {1, B19200}, {7, B19200}};
  for (auto [index, baud] : speeds) {
    ASSERT_TRUE(link.SetSpeed(9, index));
    ASSERT_EQ(tcgetattr(pty.slave(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), baud) << "speed index " << index;
  }
  EXPECT_FALSE(link.SetSpeed(3, 0));  // not open
}

TEST(PosixLinkOpen, PortIsHeldExclusivelyWhileOpen) {
  PtyPair pty;
  PosixLink link(Paths(0, pty.path()));
  ASSERT_TRUE(link.Open(0, false));
  EXPECT_FALSE(link.Open(0, false)) << "an open port is not opened twice";
  int excl = 0;
  ASSERT_EQ(ioctl(pty.slave(), TIOCGEXCL, &excl), 0);
  EXPECT_EQ(excl, 1);
  if (geteuid() != 0) {  // root may open an exclusive tty anyway
    PosixLink other(Paths(0, pty.path()));
    EXPECT_FALSE(other.Open(0, false));
  }
  link.Close(0);
  ASSERT_EQ(ioctl(pty.slave(), TIOCGEXCL, &excl), 0);
  EXPECT_EQ(excl, 0) << "closing gives the device back";
}

TEST(PosixLinkIo, WritesReachTheDeviceAndBlocksReachTheReceiver) {
  PtyPair pty;
  PosixLink link(Paths(0, pty.path()));
  ASSERT_TRUE(link.Open(0, true));
  const Bytes frame = KormastAnswer({17, 0, 0, 0, 0, 0, 0, 3});
  EXPECT_EQ(link.Write(0, frame.data(), frame.size()).status, WriteStatus::kDone);
  EXPECT_EQ(ReadMaster(pty.master(), 10), frame);

  link.Rx(0).Arm(10, 0, Framing::kNetwork);
  const Bytes answer = KormastAnswer({17, 5, 0, 100, 19, 136, 0, 3});
  ASSERT_EQ(::write(pty.master(), answer.data(), answer.size()), 10);
  Answer a;
  ASSERT_TRUE(link.Rx(0).Wait(5000, a));
  EXPECT_EQ(a.mprob, 10);
  EXPECT_TRUE(std::equal(answer.begin(), answer.end(), a.res.begin()));
}

TEST(PosixLinkIo, LongBurstIsGatheredWhole) {
  PtyPair pty;
  PosixLink link(Paths(0, pty.path()));
  ASSERT_TRUE(link.Open(0, true));
  // More than two 80-byte blocks: the watcher keeps reading until the queue is empty.
  link.Rx(0).Arm(500, 0, Framing::kNetwork);
  Bytes burst(200, 0xAA);
  ASSERT_EQ(::write(pty.master(), burst.data(), burst.size()), 200);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (link.Rx(0).Pending() < 200 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(link.Rx(0).Pending(), 200u) << "every byte is gathered, in order";
}

TEST(PosixLinkIo, WriteToAStuckLineGivesUpInsteadOfHanging) {
  // Nobody reads the other end: the driver's queue fills up.
  PtyPair pty;
  PosixLink link(Paths(0, pty.path()));
  link.writeTimeoutMs = 100;
  ASSERT_TRUE(link.Open(0, true));
  const Bytes big(1 << 20, 0x55);
  const WriteResult partial = link.Write(0, big.data(), big.size());
  EXPECT_EQ(partial.status, WriteStatus::kCompletionError) << "part of the block went out";
  const Bytes frame(10, 1);
  const WriteResult none = link.Write(0, frame.data(), frame.size());
  EXPECT_EQ(none.status, WriteStatus::kRefused) << "nothing of the frame went out";
  link.Close(0);  // and closing still works with the queue full
  EXPECT_FALSE(link.IsOpen(0));
}

TEST(PosixLinkIo, IdleWatcherSleeps) {
  PtyPair pty;
  PosixLink link(Paths(0, pty.path()));
  ASSERT_TRUE(link.Open(0, true));
  EXPECT_LT(CpuWhileSleeping(400), 0.1);
}

TEST(PosixLinkIo, UnwatchedPortDeliversNothing) {
  PtyPair pty;
  const int before = test::WatcherCount();
  PosixLink link(Paths(1, pty.path()));
  ASSERT_TRUE(link.Open(1, false));
  EXPECT_EQ(test::WatcherCountReaching(before), before);
  link.Rx(1).Arm(10, 0, Framing::kNetwork);
  const Bytes answer = KormastAnswer({17, 5, 0, 100, 19, 136, 0, 3});
  ASSERT_EQ(::write(pty.master(), answer.data(), answer.size()), 10);
  Answer a;
  EXPECT_FALSE(link.Rx(1).Wait(100, a));
}

TEST(PosixLinkClose, CloseWhileTheWatcherWaitsEndsItPromptly) {
  PtyPair pty;
  const int before = test::WatcherCount();
  PosixLink link(Paths(0, pty.path()));
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(link.Open(0, true));
    EXPECT_EQ(test::WatcherCountReaching(before + 1), before + 1);
    if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto t0 = std::chrono::steady_clock::now();
    link.Close(0);
    // Generous bound: a watcher left in a timed wait would take seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_FALSE(link.IsOpen(0));
    EXPECT_EQ(test::WatcherCountReaching(before), before) << "no watcher left behind";
  }
}

TEST(PosixLinkClose, DestructorClosesEveryPort) {
  PtyPair a, b;
  const int before = test::WatcherCount();
  {
    std::array<std::string, kPortCount> paths;
    paths[0] = a.path();
    paths[3] = b.path();
    PosixLink link(paths);
    ASSERT_TRUE(link.Open(0, true));
    ASSERT_TRUE(link.Open(3, false));
  }
  EXPECT_EQ(test::WatcherCountReaching(before), before);
  int excl = 1;
  ASSERT_EQ(ioctl(b.slave(), TIOCGEXCL, &excl), 0);
  EXPECT_EQ(excl, 0);
}

TEST(PosixLinkClose, DeviceThatGoesAwayIsReportedOnceAndCloseStillWorks) {
  auto pty = std::make_unique<PtyPair>();
  PosixLink link(Paths(0, pty->path()));
  ASSERT_TRUE(link.Open(0, true));
  pty.reset();  // the other end disappears: the watcher sees a hang-up
  std::vector<LinkNotice> notices;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (notices.empty() && std::chrono::steady_clock::now() < until) {
    notices = link.TakeNotices();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].what, "read");
  EXPECT_LT(CpuWhileSleeping(400), 0.1) << "the watcher of a dead device must not spin";
  EXPECT_TRUE(link.TakeNotices().empty()) << "a dead device is reported once, not in a loop";
  link.Close(0);
  EXPECT_FALSE(link.IsOpen(0));
}

}  // namespace
}  // namespace kvl
