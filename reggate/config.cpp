#include "reggate/config.h"

#include <toml++/toml.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "lineops/regulator.h"
#include "protocol/commands.h"

namespace kvl::gate {

namespace {

// One key of a table: what it accepts, and where the value goes. Returns an
// empty string when the value was taken, else the reason it was not.
struct Field {
  const char* name;
  std::function<std::string(const toml::node&)> take;
};

std::string Where(const std::string& file, const toml::source_region& at) {
  return file + ":" + std::to_string(at.begin.line);
}

Field Int(const char* name, int& out, long long lo, long long hi) {
  return {name, [&out, lo, hi](const toml::node& n) -> std::string {
            const auto* v = n.as_integer();
            if (!v) return "must be a whole number";
            if (v->get() < lo || v->get() > hi)
              return "must be from " + std::to_string(lo) + " to " + std::to_string(hi);
            out = static_cast<int>(v->get());
            return "";
          }};
}

Field Bool(const char* name, bool& out) {
  return {name, [&out](const toml::node& n) -> std::string {
            const auto* v = n.as_boolean();
            if (!v) return "must be true or false";
            out = v->get();
            return "";
          }};
}

Field Text(const char* name, std::string& out, bool mayBeEmpty = true) {
  return {name, [&out, mayBeEmpty](const toml::node& n) -> std::string {
            const auto* v = n.as_string();
            if (!v) return "must be a text in quotes";
            if (!mayBeEmpty && v->get().empty()) return "must not be empty";
            out = v->get();
            return "";
          }};
}

// A text that must be one of `words`; out receives its index.
Field Choice(const char* name, int& out, std::vector<std::string> words) {
  return {name, [&out, words](const toml::node& n) -> std::string {
            const auto* v = n.as_string();
            for (size_t i = 0; v && i < words.size(); ++i)
              if (v->get() == words[i]) {
                out = static_cast<int>(i);
                return "";
              }
            std::string list;
            for (const auto& w : words) list += (list.empty() ? "\"" : ", \"") + w + "\"";
            return "must be one of " + list;
          }};
}

Field TopicName(const char* name, std::string& out) {
  return {name, [&out](const toml::node& n) -> std::string {
            const auto* v = n.as_string();
            if (!v || !TopicSafe(v->get()))
              return "must be a text of letters, digits, '-' and '_' (it names MQTT topics)";
            out = v->get();
            return "";
          }};
}

// Takes every key of table t through fields; a key without a field is refused.
std::string TakeTable(const toml::table& t, const std::vector<Field>& fields,
                      const std::string& section, const std::string& file) {
  for (auto&& [key, node] : t) {
    const Field* f = nullptr;
    for (const Field& cand : fields)
      if (key.str() == cand.name) f = &cand;
    if (!f) {
      std::string names;
      for (const Field& cand : fields)
        names += (names.empty() ? "" : ", ") + std::string(cand.name);
      return Where(file, key.source()) + ": unknown key '" + std::string(key.str()) + "' in " +
             section + " (known: " + names + ")";
    }
    const std::string why = f->take(node);
    if (!why.empty())
      return Where(file, node.source()) + ": " + section + " " + std::string(key.str()) + " " + why;
  }
  return "";
}

std::string SectionName(const std::string& key) {
  return key == "regulator" ? "[[regulator]]" : "[" + key + "]";
}

}  // namespace

bool TopicSafe(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (unsigned char c : name)
    if (!(std::isalnum(c) || c == '-' || c == '_')) return false;
  return true;
}

const RegulatorConf* Config::ByAddress(int address) const {
  for (const auto& r : regulators)
    if (r.address == address) return &r;
  return nullptr;
}

const RegulatorConf* Config::ByName(const std::string& name) const {
  for (const auto& r : regulators)
    if (r.name == name) return &r;
  return nullptr;
}

std::optional<Config> ParseConfig(const std::string& text, const std::string& file,
                                  std::string& error) {
  toml::table root;
  try {
    root = toml::parse(text, file);
  } catch (const toml::parse_error& e) {
    error = Where(file, e.source()) + ": " + std::string(e.description());
    return std::nullopt;
  }
  Config c;
  int speedIndex = c.line.speedIndex;
  const std::vector<Field> line{
      Text("port", c.line.port, false),
      {"speed",
       [&speedIndex](const toml::node& n) -> std::string {
         const auto* v = n.as_integer();
         const long long b = v ? v->get() : 0;
         if (b != 9600 && b != 19200 && b != 38400) return "must be 9600, 19200 or 38400";
         speedIndex = b == 9600 ? 0 : b == 19200 ? 1 : 2;
         return "";
       }},
      Choice("protocol", c.line.protocol, {"kormast", "modbus"}),
      Int("poll_interval_ms", c.line.pollIntervalMs, 100, 3600000),
      Int("retry_max_s", c.line.retryMaxS, 1, 3600),
  };
  const std::vector<Field> modbus{
      Bool("enabled", c.modbus.enabled),
      Text("listen", c.modbus.listen, false),
      Int("port", c.modbus.port, 1, 65535),
      Bool("read_only", c.modbus.readOnly),
      Int("max_clients", c.modbus.maxClients, 1, 256),
  };
  const std::vector<Field> mqtt{
      Bool("enabled", c.mqtt.enabled),
      Text("host", c.mqtt.host, false),
      Int("port", c.mqtt.port, 1, 65535),
      Text("client_id", c.mqtt.clientId, false),
      {"prefix",
       [&c](const toml::node& n) -> std::string {
         const auto* v = n.as_string();
         const std::string p = v ? v->get() : "";
         bool ok = !p.empty() && p.front() != '/' && p.back() != '/';
         for (char ch : p) ok = ok && ch != '+' && ch != '#';
         if (!ok) return "must be a topic such as \"plant/line1\" without '+', '#' or outer '/'";
         c.mqtt.prefix = p;
         return "";
       }},
      Text("username", c.mqtt.username),
      Text("password", c.mqtt.password),
      Int("keepalive_s", c.mqtt.keepaliveS, 5, 3600),
      Int("state_interval_s", c.mqtt.stateIntervalS, 1, 86400),
      Int("qos", c.mqtt.qos, 0, 2),
      Text("ca_file", c.mqtt.caFile),
      Text("cert_file", c.mqtt.certFile),
      Text("key_file", c.mqtt.keyFile),
  };
  int level = 2;
  const std::vector<std::string> levels{"trace", "debug", "info", "warn", "error"};
  const std::vector<Field> log{Choice("level", level, levels)};

  for (auto&& [key, node] : root) {
    const std::string k(key.str());
    const std::string section = SectionName(k);
    std::string why;
    if (k == "line" || k == "modbus" || k == "mqtt" || k == "log") {
      const toml::table* t = node.as_table();
      if (!t) {
        error = Where(file, node.source()) + ": " + k + " must be a table, written " + section;
        return std::nullopt;
      }
      why = TakeTable(*t,
                      k == "line"     ? line
                      : k == "modbus" ? modbus
                      : k == "mqtt"   ? mqtt
                                      : log,
                      section, file);
    } else if (k == "regulator") {
      const toml::array* list = node.as_array();
      if (!list || !list->is_array_of_tables()) {
        error = Where(file, node.source()) + ": regulators are written as [[regulator]] tables";
        return std::nullopt;
      }
      for (const toml::node& each : *list) {
        const toml::table& t = *each.as_table();
        RegulatorConf r;
        r.address = -1;
        why = TakeTable(t, {Int("address", r.address, 0, 254), TopicName("name", r.name)}, section,
                        file);
        if (!why.empty()) break;
        if (r.address < 0) {
          why = Where(file, t.source()) + ": [[regulator]] needs an address";
          break;
        }
        if (r.name.empty()) r.name = std::to_string(r.address);
        if (c.ByAddress(r.address)) {
          why = Where(file, t.source()) + ": address " + std::to_string(r.address) +
                " is given to two regulators";
          break;
        }
        if (c.ByName(r.name)) {
          why = Where(file, t.source()) + ": name \"" + r.name + "\" is given to two regulators";
          break;
        }
        c.regulators.push_back(r);
      }
    } else {
      why = Where(file, key.source()) + ": unknown table or key '" + k +
            "' (known: [line], [[regulator]], [modbus], [mqtt], [log])";
    }
    if (!why.empty()) {
      error = why;
      return std::nullopt;
    }
  }
  c.line.speedIndex = speedIndex;
  c.logLevel = levels[static_cast<size_t>(level)];
  if (c.line.port.empty()) {
    error = file + ":1: [line] port is missing: name the serial port, e.g. port = \"/dev/ttyUSB0\"";
    return std::nullopt;
  }
  if (c.regulators.empty()) {
    error = file + ":1: no [[regulator]] is configured: add one with its address";
    return std::nullopt;
  }
  const bool anyTls = !c.mqtt.certFile.empty() || !c.mqtt.keyFile.empty();
  if (anyTls && (c.mqtt.certFile.empty() || c.mqtt.keyFile.empty() || c.mqtt.caFile.empty())) {
    const auto* at = root["mqtt"].node();
    error = (at ? Where(file, at->source()) : file + ":1") +
            ": [mqtt] cert_file and key_file go together, and need ca_file";
    return std::nullopt;
  }
  return c;
}

std::optional<Config> LoadConfig(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseConfig(text.str(), path, error);
}

}  // namespace kvl::gate

namespace kvl::gate {

std::string StartingConfig(const std::string& port, const std::vector<ops::Identity>& found) {
  std::map<std::pair<int, int>, int> count;  // (speed, protocol) -> regulators
  for (const auto& id : found) ++count[{id.speedIndex, id.protocol}];
  std::pair<int, int> line{1, 0};
  int most = 0;
  for (const auto& [key, n] : count)
    if (n > most) {
      most = n;
      line = key;
    }
  std::string out;
  out += "# reggate configuration: " + std::to_string(most) + " regulator(s) found on " + port +
         "\n\n";
  out += "[line]\n";
  out += "port = \"" + port + "\"\n";
  out += "speed = " + std::string(cmd::nUart[line.first]) + "\n";
  out += "protocol = \"" + std::string(ops::ProtocolName(line.second)) + "\"\n";
  out += "poll_interval_ms = 700\n\n";
  for (const auto& id : found) {
    const std::string kind = id.Pressure() ? "pressure" : "flow";
    const std::string what = "# " + std::string(id.Pressure() ? "ВПЗ" : "КВЛ") + ", serial " +
                             std::to_string(id.serial) + ", format " + std::to_string(id.format);
    if (std::pair{id.speedIndex, id.protocol} != line) {
      out += "# also found, but at " + std::string(cmd::nUart[id.speedIndex]) + " baud, " +
             ops::ProtocolName(id.protocol) + ": address " + std::to_string(id.address) +
             " (one line runs at one speed and protocol)\n\n";
      continue;
    }
    out += "[[regulator]]\n";
    out += "address = " + std::to_string(id.address) + "\n";
    out += "name = \"" + kind + "-" + std::to_string(id.address) + "\"  " + what + "\n\n";
  }
  if (found.empty()) out += "# no regulator answered: add [[regulator]] tables by hand\n\n";
  out +=
      "[modbus]\n"
      "listen = \"127.0.0.1\"   # \"0.0.0.0\" to serve other machines\n"
      "port = 1502             # 502 is the standard port; below 1024 needs root or "
      "CAP_NET_BIND_SERVICE\n"
      "read_only = false\n\n"
      "[mqtt]\n"
      "enabled = true\n"
      "host = \"127.0.0.1\"\n"
      "port = 1883\n"
      "prefix = \"reggate\"\n"
      "client_id = \"reggate\"\n\n"
      "[log]\n"
      "level = \"info\"\n";
  return out;
}

}  // namespace kvl::gate
