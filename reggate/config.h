// The gateway's configuration: a TOML file read at start. Every key is known;
// a key that is not, a value of the wrong type or out of range, a duplicate
// regulator or a missing port stops the start with the file, the line and the
// reason ("reggate.toml:12: ...").
//
//   [line]        port, speed (9600/19200/38400), protocol ("kormast"/"modbus"),
//                 poll_interval_ms, retry_max_s
//   [[regulator]] address (0..254), name (topic-safe; default: the address)
//   [modbus]      enabled, listen, port, read_only, max_clients
//   [mqtt]        enabled, host, port, client_id, prefix, username, password,
//                 keepalive_s, state_interval_s, qos, ca_file, cert_file, key_file
//   [log]         level (trace, debug, info, warn, error)
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kvl::gate {

struct RegulatorConf {
  int address = 0;
  std::string name;
};

struct LineConf {
  std::string port;
  int speedIndex = 1;  // 0 = 9600, 1 = 19200, 2 = 38400
  int protocol = 0;    // 0 "Кормаст-10м", 1 Modbus RTU
  int pollIntervalMs = 700;
  int retryMaxS = 30;  // longest pause between attempts to open a lost port
};

struct ModbusConf {
  bool enabled = true;
  std::string listen = "127.0.0.1";
  int port = 502;
  bool readOnly = false;
  int maxClients = 16;
};

struct MqttConf {
  bool enabled = false;
  std::string host = "127.0.0.1";
  int port = 1883;
  std::string clientId = "reggate";
  std::string prefix = "reggate";
  std::string username, password;
  int keepaliveS = 30;
  int stateIntervalS = 60;  // a state is published at least this often
  int qos = 1;
  std::string caFile, certFile, keyFile;  // TLS when caFile is given
};

struct Config {
  LineConf line;
  std::vector<RegulatorConf> regulators;
  ModbusConf modbus;
  MqttConf mqtt;
  std::string logLevel = "info";

  const RegulatorConf* ByAddress(int address) const;
  const RegulatorConf* ByName(const std::string& name) const;
};

// Reads a configuration from text; `file` names it in messages. On failure
// returns nullopt and sets error to "FILE:LINE: reason".
std::optional<Config> ParseConfig(const std::string& text, const std::string& file,
                                  std::string& error);
std::optional<Config> LoadConfig(const std::string& path, std::string& error);

// Names usable as one level of an MQTT topic: letters, digits, '-' and '_'.
bool TopicSafe(const std::string& name);

}  // namespace kvl::gate

namespace kvl::ops {
struct Identity;
}

namespace kvl::gate {

// A starting configuration for the regulators a scan of `port` found. A line
// runs at one speed and protocol: the pair most regulators answered at is
// taken, the others are listed in comments.
std::string StartingConfig(const std::string& port, const std::vector<ops::Identity>& found);

}  // namespace kvl::gate
