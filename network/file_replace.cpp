#include "network/file_replace.h"

namespace kvl {

std::string TemporaryName(const std::string& path) {
  return path + ".tmp";
}

SaveFailure ReplaceFileStart(const std::string& path, const std::vector<uint8_t>& head,
                             FileSteps& fs) {
  std::vector<uint8_t> old;
  bool exists = false;
  if (!fs.ReadExisting(path, old, exists)) return SaveFailure::kOpen;
  const std::string tmp = TemporaryName(path);
  FileSteps::Handle h = 0;
  if (!fs.Create(tmp, path, h)) {
    fs.Remove(tmp);
    return SaveFailure::kOpen;
  }
  bool ok = fs.Write(h, head.data(), head.size());
  if (ok && old.size() > head.size())
    ok = fs.Write(h, old.data() + head.size(), old.size() - head.size());
  ok = ok && fs.Flush(h);
  ok = fs.Close(h) && ok;
  ok = ok && fs.Replace(tmp, path);
  if (!ok) {
    fs.Remove(tmp);
    return SaveFailure::kWrite;
  }
  return SaveFailure::kNone;
}

}  // namespace kvl
