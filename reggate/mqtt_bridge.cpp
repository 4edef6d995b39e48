#include "reggate/mqtt_bridge.h"

#include <mosquitto.h>
#include <spdlog/spdlog.h>

#include "lineops/json.h"
#include "reggate/mqtt_messages.h"

namespace kvl::gate {

namespace {

constexpr size_t kMaxWaitingResults = 256;
constexpr auto kFirstRetry = std::chrono::seconds(1);
constexpr auto kLongestRetry = std::chrono::seconds(30);

}  // namespace

MqttBridge::MqttBridge(const Config& config, Store& store, Poller& poller)
    : config_(config), conf_(config.mqtt), store_(store), poller_(poller) {}

MqttBridge::~MqttBridge() {
  Stop();
  if (mosq_) mosquitto_destroy(mosq_);
}

bool MqttBridge::Start(std::string& error) {
  mosq_ = mosquitto_new(conf_.clientId.c_str(), true, this);
  if (!mosq_) {
    error = "MQTT: cannot create the client";
    return false;
  }
  auto fail = [&error](const char* what, int rc) {
    error = std::string("MQTT: ") + what + ": " + mosquitto_strerror(rc);
    return false;
  };
  const std::string availability = Topic("availability");
  int rc = mosquitto_will_set(mosq_, availability.c_str(), 7, "offline", conf_.qos, true);
  if (rc != MOSQ_ERR_SUCCESS) return fail("last will", rc);
  if (!conf_.username.empty()) {
    rc = mosquitto_username_pw_set(mosq_, conf_.username.c_str(),
                                   conf_.password.empty() ? nullptr : conf_.password.c_str());
    if (rc != MOSQ_ERR_SUCCESS) return fail("user name", rc);
  }
  if (!conf_.caFile.empty()) {
    rc = mosquitto_tls_set(mosq_, conf_.caFile.c_str(), nullptr,
                           conf_.certFile.empty() ? nullptr : conf_.certFile.c_str(),
                           conf_.keyFile.empty() ? nullptr : conf_.keyFile.c_str(), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return fail("TLS files (ca_file, cert_file, key_file)", rc);
  }
  mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int code) {
    static_cast<MqttBridge*>(self)->Connected(code);
  });
  mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
    static_cast<MqttBridge*>(self)->Message(*m);
  });
  mosquitto_publish_callback_set(mosq_, [](mosquitto*, void* self, int mid) {
    auto* me = static_cast<MqttBridge*>(self);
    if (mid == me->offlineMid_) me->offlineOut_ = true;
  });
  thread_ = std::thread([this] { Run(); });
  return true;
}

void MqttBridge::Stop() {
  if (stop_.exchange(true)) return;
  waitCv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void MqttBridge::Connected(int rc) {
  if (rc != 0) {
    spdlog::error("MQTT: broker {}:{} refused the connection: {}", conf_.host, conf_.port,
                  mosquitto_connack_string(rc));
    mosquitto_disconnect(mosq_);
    return;
  }
  spdlog::info("MQTT: connected to {}:{} as {}", conf_.host, conf_.port, conf_.clientId);
  connected_ = true;
  republish_ = true;
  const std::string commands = Topic("+/set");
  mosquitto_subscribe(mosq_, nullptr, commands.c_str(), conf_.qos);
}

void MqttBridge::Publish(const std::string& topic, const std::string& payload, bool retain,
                         int* mid) {
  const int rc = mosquitto_publish(mosq_, mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), conf_.qos, retain);
  if (rc != MOSQ_ERR_SUCCESS)
    spdlog::debug("MQTT: {} not published: {}", topic, mosquitto_strerror(rc));
}

void MqttBridge::Result(nlohmann::ordered_json j) {
  const std::string name = j["name"];
  std::lock_guard lock(resultsMutex_);
  if (results_.size() >= kMaxWaitingResults) results_.pop_front();
  results_.push_back({Topic(name + "/result"), j.dump()});
}

void MqttBridge::Message(const mosquitto_message& m) {
  const std::string topic = m.topic;
  const std::string head = conf_.prefix + "/";
  const std::string tail = "/set";
  if (topic.size() <= head.size() + tail.size() || topic.compare(0, head.size(), head) != 0 ||
      topic.compare(topic.size() - tail.size(), tail.size(), tail) != 0)
    return;
  const std::string name = topic.substr(head.size(), topic.size() - head.size() - tail.size());
  const RegulatorConf* reg = config_.ByName(name);
  if (!reg) {
    spdlog::warn("MQTT: command for unknown regulator \"{}\" ignored", name);
    return;
  }
  const std::string payload(static_cast<const char*>(m.payload), static_cast<size_t>(m.payloadlen));
  spdlog::info("MQTT: command for {}: {}", name, payload);
  auto record = [reg](nlohmann::ordered_json j, const nlohmann::ordered_json& id) {
    j["name"] = reg->name;
    j["address"] = reg->address;
    if (!id.is_null()) j["id"] = id;
    return j;
  };
  auto rejected = [&](const std::string& text, const std::string& why,
                      const nlohmann::ordered_json& id) {
    spdlog::warn("MQTT: command for {} rejected: {}", name, why);
    Result(record({{"setting", text}, {"status", "rejected"}, {"message", why}}, id));
  };
  std::string error;
  const auto command = ParseCommand(payload, error);
  if (!command) return rejected(payload, error, nullptr);
  std::vector<ops::Setting> settings;
  for (const std::string& text : command->settings) {
    ops::Setting s;
    if (!ops::ParseSetting(text, s, error)) return rejected(text, error, command->id);
    settings.push_back(s);
  }
  for (const ops::Setting& s : settings) {
    const auto id = command->id;
    const auto queued = poller_.Submit(
        reg->address, s,
        [this, s, id, record](const ops::SetResult& r) { Result(record(ops::ToJson(s, r), id)); });
    if (queued == Poller::Queued::kNotOffered)
      rejected(s.text,
               "address and speed changes are not offered by the gateway: stop it and use "
               "regctl set",
               id);
    else if (queued == Poller::Queued::kBusy)
      rejected(s.text, "too many commands are waiting: try again", id);
  }
}

void MqttBridge::PublishDue(bool all) {
  const auto now = SteadyClock::now();
  const LineState line = store_.Line();
  if (all || line.version != lineVersion_) {
    lineVersion_ = line.version;
    Publish(Topic("availability"), line.open ? "online" : "offline", true);
    nlohmann::ordered_json j{
        {"port", config_.line.port}, {"open", line.open}, {"message", line.message}};
    Publish(Topic("line"), j.dump(), true);
  }
  const auto interval = std::chrono::seconds(conf_.stateIntervalS);
  for (const RegulatorState& s : store_.All()) {
    Sent& last = sent_[s.name];
    const bool due = all || now - last.at >= interval;
    if (!due && s.version == last.version) continue;
    last.version = s.version;
    nlohmann::ordered_json j = StateJson(s);
    const std::string payload = j.dump();
    j.erase("time");
    std::string body = j.dump();
    if (!due && body == last.body) continue;  // a new poll that changed nothing
    Publish(Topic(s.name + "/state"), payload, true);
    last.body = std::move(body);
    last.at = now;
  }
  std::deque<Outgoing> results;
  {
    std::lock_guard lock(resultsMutex_);
    results.swap(results_);
  }
  for (const Outgoing& o : results) Publish(o.topic, o.payload, false);
}

void MqttBridge::Run() {
  auto retry = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstRetry);
  auto next = SteadyClock::now();
  bool socket = false;  // a connection is made or being made
  bool told = false;
  while (!stop_) {
    if (!socket && SteadyClock::now() >= next) {
      const int rc = mosquitto_connect(mosq_, conf_.host.c_str(), conf_.port, conf_.keepaliveS);
      if (rc == MOSQ_ERR_SUCCESS) {
        socket = true;
      } else {
        if (!told)
          spdlog::warn("MQTT: broker {}:{} not reachable ({}); trying again with growing pauses",
                       conf_.host, conf_.port, mosquitto_strerror(rc));
        told = true;
        next = SteadyClock::now() + retry;
        retry = std::min(retry * 2,
                         std::chrono::duration_cast<std::chrono::milliseconds>(kLongestRetry));
      }
    }
    if (socket) {
      const int rc = mosquitto_loop(mosq_, 50, 1);
      if (rc != MOSQ_ERR_SUCCESS) {
        if (connected_)
          spdlog::warn("MQTT: connection to the broker lost ({})", mosquitto_strerror(rc));
        connected_ = false;
        socket = false;
        told = true;
        retry = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstRetry);
        next = SteadyClock::now() + retry;
        continue;
      }
    } else {
      std::unique_lock lock(waitMutex_);
      waitCv_.wait_for(lock, std::chrono::milliseconds(50), [this] { return stop_.load(); });
    }
    if (connected_) {
      if (told) retry = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstRetry);
      told = false;
      PublishDue(republish_);
      republish_ = false;
    }
  }
  if (connected_) {
    // A clean disconnect does not send the will: say "offline" ourselves.
    Publish(Topic("availability"), "offline", true, &offlineMid_);
    const auto until = SteadyClock::now() + std::chrono::seconds(2);
    while (!offlineOut_ && SteadyClock::now() < until &&
           mosquitto_loop(mosq_, 50, 1) == MOSQ_ERR_SUCCESS) {
    }
    mosquitto_disconnect(mosq_);
    mosquitto_loop(mosq_, 50, 1);
    spdlog::info("MQTT: disconnected");
  }
}

}  // namespace kvl::gate
