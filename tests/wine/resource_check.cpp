// Reads what Windows shows of each program file, under Wine with the real
// Win32 calls: the version resource (the file's properties), the manifest
// (execution level, supported Windows versions, no visual-styles dependency,
// no DPI awareness) and string 784, from which the port names are built.
// Usage: resource_check.exe DIR (the folder with the three programs). Prints
// one line per failed check and a closing "N passed, M failed" line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int passed = 0, failed = 0;

void Expect(bool ok, const std::string& what) {
  ok ? ++passed : ++failed;
  if (!ok) std::printf("FAILED: %s\n", what.c_str());
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

void ExpectText(const std::string& got, const std::string& want, const std::string& what) {
  Expect(got == want, what + ": \"" + got + "\", expected \"" + want + "\"");
}

struct Program {
  const char* file;
  const char* description;
};

const Program kPrograms[] = {
    {"regnet9.exe", "Сеть регуляторов КВЛ30 и ВПЗ, 9 каналов"},
    {"regnet5.exe", "Сеть регуляторов КВЛ30 и ВПЗ, 5 каналов"},
    {"regsolo.exe", "Настройка и обслуживание регулятора КВЛ30"},
};

// Windows 7, 8, 8.1, and 10 (which 11 shares).
const char* const kSupportedOs[] = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
};

void CheckVersion(const std::wstring& path, const Program& p) {
  const std::string name = p.file;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  Expect(size > 0, name + ": has a version resource");
  if (size == 0) return;
  std::vector<char> info(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) {
    Expect(false, name + ": version resource readable");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  Expect(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) && fixed &&
             fixed->dwFileVersionMS == MAKELONG(1, 1) && fixed->dwFileVersionLS == 0 &&
             fixed->dwProductVersionMS == fixed->dwFileVersionMS,
         name + ": file and product version 1.1.0.0");
  const auto value = [&](const wchar_t* key) {
    wchar_t* text = nullptr;
    UINT n = 0;
    const std::wstring q = std::wstring(L"\\StringFileInfo\\041904B0\\") + key;
    if (!VerQueryValueW(info.data(), q.c_str(), reinterpret_cast<void**>(&text), &n) || !text)
      return std::string("(none)");
    return Narrow(text);
  };
  ExpectText(value(L"ProductName"), "Регуляторы КВЛ30 и ВПЗ", name + " ProductName");
  ExpectText(value(L"FileDescription"), p.description, name + " FileDescription");
  ExpectText(value(L"FileVersion"), "1.1.0.0", name + " FileVersion");
  ExpectText(value(L"ProductVersion"), "1.1.0.0", name + " ProductVersion");
  ExpectText(value(L"OriginalFilename"), p.file, name + " OriginalFilename");
}

void CheckManifestAndStrings(const std::wstring& path, const Program& p) {
  const std::string name = p.file;
  HMODULE m = LoadLibraryExW(path.c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!m) {
    Expect(false, name + ": loads as a resource file");
    return;
  }
  std::string manifest;
  if (HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    if (HGLOBAL g = LoadResource(m, r))
      manifest.assign(static_cast<const char*>(LockResource(g)), SizeofResource(m, r));
  }
  Expect(!manifest.empty(), name + ": has a manifest (resource 1)");
  const auto has = [&](const std::string& s) { return manifest.find(s) != std::string::npos; };
  Expect(has("level=\"asInvoker\""), name + ": manifest asks for asInvoker");
  for (const char* os : kSupportedOs) Expect(has(os), name + ": manifest supports " + os);
  Expect(!has("Common-Controls"), name + ": manifest has no visual-styles dependency");
  Expect(!has("dpiAware"), name + ": manifest leaves DPI awareness off");

  wchar_t buf[16] = {};
  const int n = LoadStringW(m, 784, buf, 16);
  ExpectText(Narrow(std::wstring(buf, n > 0 ? n : 0)), "COM", name + " string 784");
  FreeLibrary(m);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage: resource_check.exe DIR\n");
    return 2;
  }
  for (const Program& p : kPrograms) {
    const std::wstring path =
        std::wstring(argv[1]) + L"\\" + std::wstring(p.file, p.file + std::strlen(p.file));
    CheckVersion(path, p);
    CheckManifestAndStrings(path, p);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
