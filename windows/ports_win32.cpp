// Ports on Windows, from the registry's SERIALCOMM map; the link is the Win32
// overlapped link of the programs, which names its ports COM1 .. COM10.
#include <windows.h>

#include <algorithm>
#include <cctype>

#include "regctl/ports.h"
#include "windows/utf.h"
#include "windows/win32_link.h"

namespace kvl::regctl {

std::vector<PortInfo> ListPorts(const std::string&) {
  std::vector<PortInfo> ports;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return ports;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    wchar_t data[256];
    DWORD nameLen = 256, dataLen = sizeof data, type = 0;
    const LONG r = RegEnumValueW(key, i, name, &nameLen, nullptr, &type,
                                 reinterpret_cast<BYTE*>(data), &dataLen);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;
    data[std::min<DWORD>(dataLen / sizeof(wchar_t), 255)] = 0;
    const std::string device = win::Narrow(name);
    // \Device\Serial0, \Device\USBSER000, \Device\Silabser0: the driver's name.
    std::string driver = device.substr(device.find_last_of('\\') + 1);
    while (!driver.empty() && std::isdigit(static_cast<unsigned char>(driver.back())))
      driver.pop_back();
    ports.push_back({win::Narrow(data), driver, device});
  }
  RegCloseKey(key);
  std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
  });
  return ports;
}

std::unique_ptr<ByteLink> LinkFor(const std::string& port, int& index, std::string& error) {
  std::string p = port;
  if (p.rfind("\\\\.\\", 0) == 0) p = p.substr(4);
  for (char& ch : p) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  int n = 0;
  bool ok = p.size() > 3 && p.size() <= 5 && p.rfind("COM", 0) == 0;
  for (size_t i = 3; ok && i < p.size(); ++i) {
    ok = std::isdigit(static_cast<unsigned char>(p[i])) != 0;
    n = n * 10 + (p[i] - '0');
  }
  if (!ok || n < 1 || n > kPortCount) {
    error = "'" + port + "' is not a port this build can open: use COM1 .. COM10";
    return nullptr;
  }
  index = n - 1;
  return std::make_unique<Win32Link>();
}

}  // namespace kvl::regctl
