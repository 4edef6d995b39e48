#include "pty_peer.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <string>

#include "serial/posix_link.h"

namespace kvl::test {

namespace {
void WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w > 0) {
      p += w;
      n -= static_cast<size_t>(w);
    } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
      return;
    }
  }
}

// Waits for data on fd; false when the stop pipe fired.
bool WaitReadable(int fd, int stopFd, int* readyFd = nullptr, int fd2 = -1) {
  for (;;) {
    pollfd p[3] = {{stopFd, POLLIN, 0}, {fd, POLLIN, 0}, {fd2, POLLIN, 0}};
    int r = poll(p, fd2 >= 0 ? 3 : 2, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || p[0].revents) return false;
    if (readyFd) *readyFd = (p[1].revents & POLLIN) ? fd : fd2;
    if ((p[1].revents | (fd2 >= 0 ? p[2].revents : 0)) & POLLIN) return true;
    // A hang-up without data: nothing to do until stopped.
    pollfd s{stopFd, POLLIN, 0};
    poll(&s, 1, 20);
    if (s.revents) return false;
  }
}
}  // namespace

PtyPair::PtyPair() {
  char name[128];
  termios t{};
  cfmakeraw(&t);
  cfsetispeed(&t, B19200);
  cfsetospeed(&t, B19200);
  if (openpty(&master_, &slave_, name, &t, nullptr) != 0) throw std::runtime_error("openpty");
  path_ = name;
}

PtyPair::~PtyPair() {
  ::close(master_);
  ::close(slave_);
}

PtyDevice::PtyDevice(bool modbus, Responder r) : modbus_(modbus), responder_(std::move(r)) {
  if (pipe(stop_) != 0) throw std::runtime_error("pipe");
  thread_ = std::thread(&PtyDevice::Run, this);
}

PtyDevice::~PtyDevice() {
  uint8_t b = 1;
  WriteAll(stop_[1], &b, 1);
  thread_.join();
  ::close(stop_[0]);
  ::close(stop_[1]);
}

std::vector<Bytes> PtyDevice::Requests() const {
  std::lock_guard<std::mutex> lk(m_);
  return requests_;
}

void PtyDevice::Run() {
  Bytes gathered;
  while (WaitReadable(pty_.master(), stop_[0])) {
    uint8_t b[256];
    ssize_t n = ::read(pty_.master(), b, sizeof b);
    if (n <= 0) continue;
    gathered.insert(gathered.end(), b, b + n);
    for (;;) {
      size_t len = 10;
      if (modbus_ && gathered.size() >= 2) len = gathered[1] == 0x0F ? 10 : 8;
      if (gathered.size() < len) break;
      Bytes req(gathered.begin(), gathered.begin() + static_cast<long>(len));
      gathered.erase(gathered.begin(), gathered.begin() + static_cast<long>(len));
      int index;
      {
        std::lock_guard<std::mutex> lk(m_);
        requests_.push_back(req);
        index = static_cast<int>(requests_.size()) - 1;
      }
      for (const Chunk& c : responder_(req, index)) {
        if (c.delayMs) {
          pollfd s{stop_[0], POLLIN, 0};
          if (poll(&s, 1, static_cast<int>(c.delayMs)) > 0) return;
        }
        WriteAll(pty_.master(), c.bytes.data(), c.bytes.size());
      }
    }
  }
}

PtyBridge::PtyBridge() {
  if (pipe(stop_) != 0) throw std::runtime_error("pipe");
  thread_ = std::thread(&PtyBridge::Run, this);
}

PtyBridge::~PtyBridge() {
  uint8_t b = 1;
  WriteAll(stop_[1], &b, 1);
  thread_.join();
  ::close(stop_[0]);
  ::close(stop_[1]);
}

void PtyBridge::Run() {
  int ready = -1;
  while (WaitReadable(a_.master(), stop_[0], &ready, b_.master())) {
    uint8_t buf[256];
    ssize_t n = ::read(ready, buf, sizeof buf);
    if (n > 0)
      WriteAll(ready == a_.master() ? b_.master() : a_.master(), buf, static_cast<size_t>(n));
  }
}

int WatcherCount() {
  // Only the link's watcher threads count: sanitizers start threads of their own.
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      if (name == PosixLink::kWatcherThreadName) ++n;
    }
    closedir(d);
  }
  return n;
}

int WatcherCountReaching(int expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  int n = WatcherCount();
  while (n != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    n = WatcherCount();
  }
  return n;
}

}  // namespace kvl::test
