// The Modbus TCP server (libmodbus): one listening thread, and a thread for
// each client up to max_clients (more are turned away), so a slow or stuck
// client holds up nobody but itself. Reads are answered from the Store at
// once; a write becomes the regulator's setting, queued to the poller, and is
// answered when the regulator has: success, exception 04 when it refused, 0B
// when it was silent, 0A when the line is down or the unit id is no configured
// regulator, 06 when too many commands wait. read_only refuses every write
// with exception 01, as it does any function the map does not offer.
#pragma once

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "reggate/config.h"
#include "reggate/poller.h"
#include "reggate/store.h"

namespace kvl::gate {

class ModbusServer {
 public:
  ModbusServer(const ModbusConf& conf, Store& store, Poller& poller);
  ~ModbusServer();
  ModbusServer(const ModbusServer&) = delete;
  ModbusServer& operator=(const ModbusServer&) = delete;

  // Binds and listens; false (with a message in error) when it cannot.
  bool Start(std::string& error);
  // Closes the listening socket and every client's, and ends every thread.
  void Stop();

  // Longest wait for the regulator's answer to a write.
  static constexpr int kWriteWaitMs = 30000;

 private:
  struct Client {
    int fd = -1;
    std::string peer;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void Listen();
  void Serve(Client& c);
  void Reap(bool all);

  const ModbusConf& conf_;
  Store& store_;
  Poller& poller_;
  int listenFd_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::thread listener_;
  std::mutex clientsMutex_;
  std::list<Client> clients_;
};

}  // namespace kvl::gate
