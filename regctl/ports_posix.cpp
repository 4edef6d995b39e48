// Ports on Linux, from sysfs; the link is the POSIX termios link.
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "regctl/ports.h"
#include "serial/posix_link.h"

namespace kvl::regctl {

namespace {

std::string ReadLine(const std::string& path) {
  std::ifstream f(path);
  std::string s;
  std::getline(f, s);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

std::string Base(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LinkTarget(const std::string& path) {
  char b[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), b, sizeof b - 1);
  if (n <= 0) return "";
  b[n] = 0;
  return b;
}

// The USB device above a tty's device: the first directory upwards with an
// idVendor file.
std::string UsbAbout(const std::string& deviceDir) {
  char b[PATH_MAX];
  if (!realpath(deviceDir.c_str(), b)) return "";
  std::string dir = b;
  for (int up = 0; up < 4 && dir.size() > 1; ++up) {
    const std::string vendor = ReadLine(dir + "/idVendor");
    if (!vendor.empty()) {
      std::string about = "USB " + vendor + ":" + ReadLine(dir + "/idProduct");
      for (const char* f : {"manufacturer", "product", "serial"}) {
        const std::string v = ReadLine(dir + "/" + f);
        if (!v.empty()) about += (std::string(f) == "serial" ? " serial " : " ") + v;
      }
      return about;
    }
    dir = dir.substr(0, dir.find_last_of('/'));
  }
  return "";
}

bool Wanted(const std::string& n) {
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"})
    if (n.rfind(prefix, 0) == 0 && n.size() > std::string(prefix).size()) return true;
  return false;
}

}  // namespace

std::vector<PortInfo> ListPorts(const std::string& sysRoot) {
  std::vector<PortInfo> ports;
  const std::string cls = sysRoot + "/class/tty";
  DIR* d = opendir(cls.c_str());
  if (!d) return ports;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (!Wanted(n)) continue;
    const std::string dir = cls + "/" + n;
    const std::string driver = Base(LinkTarget(dir + "/device/driver"));
    if (driver.empty()) continue;  // no device behind it
    // The 8250 driver registers ports whether or not a UART answers: type 0
    // means none was found.
    if (n.rfind("ttyS", 0) == 0 && ReadLine(dir + "/type") == "0") continue;
    ports.push_back({"/dev/" + n, driver, UsbAbout(dir + "/device")});
  }
  closedir(d);
  std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
  });
  return ports;
}

std::unique_ptr<ByteLink> LinkFor(const std::string& port, int& index, std::string& error) {
  if (port.empty()) {
    error = "no port given";
    return nullptr;
  }
  std::array<std::string, kPortCount> paths;
  paths[0] = port;
  index = 0;
  return std::make_unique<PosixLink>(paths);
}

}  // namespace kvl::regctl
