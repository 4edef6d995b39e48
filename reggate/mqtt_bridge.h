// The MQTT client (libmosquitto). One thread of its own makes every libmosquitto
// call: it connects (again, with a growing pause, while the broker is away),
// publishes each regulator's state when it changed and at least every
// state_interval_s, the availability and the line's state, takes commands from
// <prefix>/<name>/set and publishes their results. While the broker is away
// the poller goes on; on reconnect the latest state of every regulator goes out.
// Topics and payloads: reggate/mqtt_messages.h.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "reggate/config.h"
#include "reggate/poller.h"
#include "reggate/store.h"

struct mosquitto;
struct mosquitto_message;

namespace kvl::gate {

class MqttBridge {
 public:
  MqttBridge(const Config& config, Store& store, Poller& poller);
  ~MqttBridge();
  MqttBridge(const MqttBridge&) = delete;
  MqttBridge& operator=(const MqttBridge&) = delete;

  // Sets the client up (will, credentials, TLS) and starts its thread; false
  // with a message when the settings are refused.
  bool Start(std::string& error);
  // Publishes "offline" (the last will's text) when connected, disconnects
  // and ends the thread.
  void Stop();

 private:
  struct Outgoing {
    std::string topic, payload;
  };
  void Run();
  void Connected(int rc);
  void Message(const mosquitto_message& m);
  void PublishDue(bool all);
  void Publish(const std::string& topic, const std::string& payload, bool retain,
               int* mid = nullptr);
  void Result(nlohmann::ordered_json j);
  std::string Topic(const std::string& leaf) const { return conf_.prefix + "/" + leaf; }

  const Config& config_;
  const MqttConf& conf_;
  Store& store_;
  Poller& poller_;
  mosquitto* mosq_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex waitMutex_;
  std::condition_variable waitCv_;

  // Owned by the client's thread.
  bool connected_ = false;
  bool republish_ = false;
  uint64_t lineVersion_ = 0;
  struct Sent {
    std::string body;  // the state without its time
    SteadyClock::time_point at;
    uint64_t version = 0;  // of the state last looked at
  };
  std::map<std::string, Sent> sent_;
  int offlineMid_ = -1;
  bool offlineOut_ = false;

  std::mutex resultsMutex_;
  std::deque<Outgoing> results_;
};

}  // namespace kvl::gate
