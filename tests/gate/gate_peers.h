// Real peers of the gateway's tests: reggate itself and a mosquitto broker as
// child processes, an MQTT subscriber (libmosquitto), and loopback ports.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

namespace kvl::test {

// A TCP port on 127.0.0.1 that nothing listened on a moment ago.
int FreeLoopbackPort();

// Waits until done() is true, at most `limit`; the last done().
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20));

// A child process with stdout and stderr in a file.
class Child {
 public:
  Child(std::vector<std::string> argv, const std::string& logFile);
  ~Child();  // SIGKILL when still running
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Running();
  // Sends sig and waits up to limit: the exit status, -1 when it did not end,
  // 128 + signal when a signal ended it.
  int Stop(int sig, std::chrono::milliseconds limit = std::chrono::seconds(15));
  int Wait(std::chrono::milliseconds limit);
  std::string Log() const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  std::string log_;
};

// mosquitto on 127.0.0.1:port, anonymous, nothing kept on disk. `listeners`:
// further listeners with settings of their own (mosquitto.conf lines).
class Broker {
 public:
  Broker(const std::string& dir, int port, const std::string& listeners = {});
  ~Broker();
  void Start();
  void Stop();
  int Port() const { return port_; }

 private:
  std::string conf_, log_;
  int port_;
  Child* child_ = nullptr;
};

struct MqttMessage {
  std::string topic, payload;
  bool retained = false;
};

// Subscribes to prefix/# and keeps every message; Publish sends one.
class Subscriber {
 public:
  Subscriber(int port, const std::string& prefix);
  ~Subscriber();
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  std::vector<MqttMessage> Messages();
  // The newest payload on topic that satisfies ok among the messages from
  // number `from` on, waiting up to limit; "" when none came.
  std::string WaitFor(const std::string& topic, const std::function<bool(const std::string&)>& ok,
                      size_t from = 0, std::chrono::milliseconds limit = std::chrono::seconds(20));
  bool Publish(const std::string& topic, const std::string& payload);

 private:
  mosquitto* m_ = nullptr;
  std::mutex mutex_;
  std::vector<MqttMessage> messages_;
};

}  // namespace kvl::test
