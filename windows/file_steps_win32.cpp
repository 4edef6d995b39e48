// The steps of a save on Windows: FlushFileBuffers, then MoveFileExW replacing
// the old file, written through to the disk before it returns.
#include <windows.h>

#include <filesystem>

#include "network/file_replace.h"

namespace kvl {

namespace {

std::wstring Wide(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

HANDLE AsHandle(FileSteps::Handle h) {
  return reinterpret_cast<HANDLE>(h);
}

class Win32FileSteps : public FileSteps {
 public:
  bool ReadExisting(const std::string& path, std::vector<uint8_t>& out, bool& exists) override {
    out.clear();
    exists = false;
    HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
      const DWORD e = GetLastError();
      return e == ERROR_FILE_NOT_FOUND;
    }
    bool ok = GetFileType(f) == FILE_TYPE_DISK;
    while (ok) {
      uint8_t buf[4096];
      DWORD n = 0;
      if (!ReadFile(f, buf, sizeof buf, &n, nullptr))
        ok = false;
      else if (n == 0)
        break;
      else
        out.insert(out.end(), buf, buf + n);
    }
    CloseHandle(f);
    exists = ok;
    return ok;
  }

  bool Create(const std::string& tmp, const std::string& target, Handle& h) override {
    const DWORD attr = GetFileAttributesW(Wide(target).c_str());
    // MoveFileExW would fail on a read-only file only after all the writing.
    if (attr != INVALID_FILE_ATTRIBUTES &&
        (attr & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
      return false;
    HANDLE f = CreateFileW(Wide(tmp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    h = reinterpret_cast<Handle>(f);
    return true;
  }

  bool Write(Handle h, const uint8_t* p, size_t n) override {
    while (n > 0) {
      const DWORD chunk = n > 0x10000000 ? 0x10000000 : static_cast<DWORD>(n);
      DWORD done = 0;
      if (!WriteFile(AsHandle(h), p, chunk, &done, nullptr) || done == 0) return false;
      p += done;
      n -= done;
    }
    return true;
  }

  bool Flush(Handle h) override { return FlushFileBuffers(AsHandle(h)) != 0; }

  bool Close(Handle h) override { return CloseHandle(AsHandle(h)) != 0; }

  bool Replace(const std::string& tmp, const std::string& target) override {
    return MoveFileExW(Wide(tmp).c_str(), Wide(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  void Remove(const std::string& path) override { DeleteFileW(Wide(path).c_str()); }
};

}  // namespace

FileSteps& NativeFileSteps() {
  static Win32FileSteps steps;
  return steps;
}

}  // namespace kvl
