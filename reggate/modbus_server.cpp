#include "reggate/modbus_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spdlog/spdlog.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <vector>

#include "reggate/register_map.h"

namespace kvl::gate {

namespace {

constexpr int kIllegalFunction = 0x01;
constexpr int kIllegalAddress = 0x02;
constexpr int kIllegalValue = 0x03;
constexpr int kDeviceFailure = 0x04;  // the regulator refused
constexpr int kBusy = 0x06;
constexpr int kPathUnavailable = 0x0A;
constexpr int kTargetSilent = 0x0B;

std::string PeerName(const sockaddr_storage& a) {
  char host[INET6_ADDRSTRLEN] = "?";
  int port = 0;
  if (a.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&a);
    inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
    port = ntohs(in->sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&a);
    inet_ntop(AF_INET6, &in->sin6_addr, host, sizeof host);
    port = ntohs(in->sin6_port);
  }
  return std::string(host) + ":" + std::to_string(port);
}

int ExceptionOf(ops::Outcome o) {
  switch (o) {
    case ops::Outcome::kAnswered:
      return 0;
    case ops::Outcome::kRefused:
      return kDeviceFailure;
    case ops::Outcome::kSilent:
      return kTargetSilent;
    default:
      return kPathUnavailable;
  }
}

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// The settings a write request asks for, in order; 0 or the exception code.
int SettingsOfWrite(const uint8_t* pdu, int pduLen, std::vector<ops::Setting>& out) {
  const int fc = pdu[0];
  const int addr = Be16(pdu + 1);
  int exception = 0;
  auto take = [&out, &exception](std::optional<ops::Setting> s) {
    if (s) out.push_back(*s);
    return exception;
  };
  if (fc == MODBUS_FC_WRITE_SINGLE_COIL) {
    const uint16_t v = Be16(pdu + 3);
    if (v != 0xFF00 && v != 0) return kIllegalValue;
    return take(CoilWrite(addr, v == 0xFF00, exception));
  }
  if (fc == MODBUS_FC_WRITE_SINGLE_REGISTER)
    return take(HoldingWrite(addr, Be16(pdu + 3), exception));
  const int count = Be16(pdu + 3);
  const int bytes = pdu[5];
  if (fc == MODBUS_FC_WRITE_MULTIPLE_COILS) {
    if (count < 1 || bytes != (count + 7) / 8 || pduLen < 6 + bytes) return kIllegalValue;
    if (addr + count > kCoils) return kIllegalAddress;
    for (int i = 0; i < count; ++i)
      if (take(CoilWrite(addr + i, pdu[6 + i / 8] >> (i % 8) & 1, exception))) return exception;
    return 0;
  }
  if (count < 1 || bytes != count * 2 || pduLen < 6 + bytes) return kIllegalValue;
  if (addr + count > kHoldingRegisters) return kIllegalAddress;
  for (int i = 0; i < count; ++i)
    if (take(HoldingWrite(addr + i, Be16(pdu + 6 + 2 * i), exception))) return exception;
  return 0;
}

}  // namespace

ModbusServer::ModbusServer(const ModbusConf& conf, Store& store, Poller& poller)
    : conf_(conf), store_(store), poller_(poller) {}

ModbusServer::~ModbusServer() {
  Stop();
}

bool ModbusServer::Start(std::string& error) {
  const std::string service = std::to_string(conf_.port);
  modbus_t* ctx = modbus_new_tcp_pi(conf_.listen.c_str(), service.c_str());
  if (!ctx) {
    error = "Modbus TCP: " + std::string(modbus_strerror(errno));
    return false;
  }
  listenFd_ = modbus_tcp_pi_listen(ctx, 16);
  const int err = errno;
  modbus_free(ctx);  // the listening socket stays ours
  if (listenFd_ < 0) {
    error = "Modbus TCP: cannot listen on " + conf_.listen + " port " + service + ": " +
            std::strerror(err) +
            (conf_.port < 1024 && err == EACCES
                 ? " (ports below 1024 need root or CAP_NET_BIND_SERVICE)"
                 : "");
    return false;
  }
  fcntl(listenFd_, F_SETFD, FD_CLOEXEC);
  if (pipe2(wake_, O_CLOEXEC) != 0) {
    error = "Modbus TCP: pipe: " + std::string(std::strerror(errno));
    return false;
  }
  spdlog::info("Modbus TCP server on {} port {}{}", conf_.listen, conf_.port,
               conf_.readOnly ? ", read only" : "");
  listener_ = std::thread([this] { Listen(); });
  return true;
}

void ModbusServer::Stop() {
  if (stop_.exchange(true)) return;
  if (wake_[1] >= 0) {
    const char b = 1;
    [[maybe_unused]] auto n = write(wake_[1], &b, 1);
  }
  if (listener_.joinable()) listener_.join();
  Reap(true);
  for (int& fd : {std::ref(listenFd_), std::ref(wake_[0]), std::ref(wake_[1])})
    if (fd >= 0) {
      close(fd);
      fd = -1;
    }
}

void ModbusServer::Reap(bool all) {
  std::list<Client> ended;
  {
    std::lock_guard lock(clientsMutex_);
    for (auto it = clients_.begin(); it != clients_.end();) {
      if (all) shutdown(it->fd, SHUT_RDWR);  // wakes a client blocked in a send
      auto next = std::next(it);
      if (all || it->done) ended.splice(ended.end(), clients_, it);
      it = next;
    }
  }
  for (Client& c : ended) c.thread.join();
}

void ModbusServer::Listen() {
  while (!stop_) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(p, 2, 1000) < 0 && errno != EINTR) {
      spdlog::error("Modbus TCP: poll: {}", std::strerror(errno));
      break;
    }
    Reap(false);
    if (stop_ || !(p[0].revents & POLLIN)) continue;
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(clientsMutex_);
    if (static_cast<int>(clients_.size()) >= conf_.maxClients) {
      spdlog::warn("Modbus TCP: {} turned away: {} clients already (max_clients)", PeerName(peer),
                   clients_.size());
      close(fd);
      continue;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval sendLimit{5, 0};  // a client that reads nothing is dropped
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    Client& c = clients_.emplace_back();
    c.fd = fd;
    c.peer = PeerName(peer);
    spdlog::info("Modbus TCP: client {} connected", c.peer);
    c.thread = std::thread([this, &c] { Serve(c); });
  }
}

void ModbusServer::Serve(Client& c) {
  modbus_t* ctx = modbus_new_tcp_pi(conf_.listen.c_str(), std::to_string(conf_.port).c_str());
  modbus_mapping_t* map =
      modbus_mapping_new_start_address(0, kCoils, 0, 0, 0, kHoldingRegisters, 0, kInputRegisters);
  if (!ctx || !map) {
    spdlog::error("Modbus TCP: out of memory for client {}", c.peer);
  } else {
    modbus_set_socket(ctx, c.fd);
    const int hl = modbus_get_header_length(ctx);
    std::vector<uint8_t> q(MODBUS_TCP_MAX_ADU_LENGTH);
    while (!stop_) {
      pollfd p{c.fd, POLLIN, 0};
      const int ready = poll(&p, 1, 200);
      if (ready == 0) continue;
      if (ready < 0 && errno == EINTR) continue;
      const int n = ready < 0 ? -1 : modbus_receive(ctx, q.data());
      if (n < 0) break;  // closed, reset, or a request that never completed
      if (n == 0) continue;
      const int unit = q[hl - 1];
      const uint8_t* pdu = q.data() + hl;
      const int fc = pdu[0];
      const auto state = store_.ByAddress(unit);
      int exception = 0;
      if (!state) {
        exception = kPathUnavailable;
      } else if (fc == MODBUS_FC_READ_COILS || fc == MODBUS_FC_READ_HOLDING_REGISTERS ||
                 fc == MODBUS_FC_READ_INPUT_REGISTERS) {
        const auto in = InputRegisters(*state, SteadyClock::now());
        const auto hold = HoldingRegisters(in);
        const auto coils = Coils(in);
        std::copy(in.begin(), in.end(), map->tab_input_registers);
        std::copy(hold.begin(), hold.end(), map->tab_registers);
        std::copy(coils.begin(), coils.end(), map->tab_bits);
        if (modbus_reply(ctx, q.data(), n, map) < 0) break;
        continue;
      } else if (fc != MODBUS_FC_WRITE_SINGLE_COIL && fc != MODBUS_FC_WRITE_SINGLE_REGISTER &&
                 fc != MODBUS_FC_WRITE_MULTIPLE_COILS && fc != MODBUS_FC_WRITE_MULTIPLE_REGISTERS) {
        exception = kIllegalFunction;
      } else if (conf_.readOnly) {
        exception = kIllegalFunction;
        spdlog::info("Modbus TCP: write from {} to unit {} refused: read_only", c.peer, unit);
      } else {
        std::vector<ops::Setting> settings;
        exception = SettingsOfWrite(pdu, n - hl, settings);  // TCP: no check value
        for (size_t i = 0; i < settings.size() && !exception; ++i) {
          auto result = std::make_shared<std::promise<ops::Outcome>>();
          auto answer = result->get_future();
          const auto queued = poller_.Submit(unit, settings[i], [result](const ops::SetResult& r) {
            result->set_value(r.outcome);
          });
          if (queued != Poller::Queued::kYes) {
            exception = queued == Poller::Queued::kBusy ? kBusy : kPathUnavailable;
            break;
          }
          const auto until = SteadyClock::now() + std::chrono::milliseconds(kWriteWaitMs);
          while (!stop_ && SteadyClock::now() < until &&
                 answer.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
          }
          exception = answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready
                          ? ExceptionOf(answer.get())
                          : kTargetSilent;
        }
        if (!exception) {
          if (modbus_reply(ctx, q.data(), n, map) < 0) break;
          continue;
        }
      }
      if (modbus_reply_exception(ctx, q.data(), static_cast<unsigned>(exception)) < 0) break;
    }
  }
  spdlog::info("Modbus TCP: client {} gone", c.peer);
  if (map) modbus_mapping_free(map);
  if (ctx) modbus_free(ctx);
  {
    std::lock_guard lock(clientsMutex_);
    close(c.fd);
    c.fd = -1;
  }
  c.done = true;
}

}  // namespace kvl::gate
