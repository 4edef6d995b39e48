// The steps of a save on POSIX: fsync before rename, and the folder synced after
// it so that the new name is on the disk too.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "network/file_replace.h"

namespace kvl {

namespace {

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

class PosixFileSteps : public FileSteps {
 public:
  bool ReadExisting(const std::string& path, std::vector<uint8_t>& out, bool& exists) override {
    out.clear();
    exists = false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    while (ok) {
      uint8_t buf[4096];
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0)
        out.insert(out.end(), buf, buf + n);
      else if (n == 0)
        break;
      else if (errno != EINTR)
        ok = false;
    }
    close(fd);
    exists = ok;
    return ok;
  }

  bool Create(const std::string& tmp, const std::string& target, Handle& h) override {
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    // rename would replace a file the operator made read-only: refuse, as an
    // in-place write would have been refused.
    if (exists && access(target.c_str(), W_OK) != 0) return false;
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    if (exists) fchmod(fd, st.st_mode & 07777);  // the new file keeps the old one's mode
    h = fd;
    return true;
  }

  bool Write(Handle h, const uint8_t* p, size_t n) override {
    while (n > 0) {
      const ssize_t w = write(static_cast<int>(h), p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      p += w;
      n -= static_cast<size_t>(w);
    }
    return true;
  }

  bool Flush(Handle h) override { return fsync(static_cast<int>(h)) == 0; }

  bool Close(Handle h) override { return close(static_cast<int>(h)) == 0; }

  bool Replace(const std::string& tmp, const std::string& target) override {
    if (rename(tmp.c_str(), target.c_str()) != 0) return false;
    const int dir = open(Folder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);  // the file is in place already; this only hastens the new name to the disk
      close(dir);
    }
    return true;
  }

  void Remove(const std::string& path) override { unlink(path.c_str()); }
};

}  // namespace

FileSteps& NativeFileSteps() {
  static PosixFileSteps steps;
  return steps;
}

}  // namespace kvl
