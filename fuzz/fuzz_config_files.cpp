// KVL.icx (both layouts) and KVL.dfg: the input is the file. Loading it is
// compared with a decoding done here field by field; then a save and a second
// load round-trip, and the save keeps every byte beyond the table.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "check.h"
#include "network/config_file.h"
#include "serial/link.h"
#include "solo/solo_config.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A folder of this process, in memory when possible (the saves flush to disk),
// removed at exit.
const std::string& Folder() {
  static const std::string* dir = [] {
    const char* env = std::getenv("KVL_FUZZ_DIR");
    fs::path base = env                      ? fs::path(env)
                    : fs::exists("/dev/shm") ? fs::path("/dev/shm")
                                             : fs::temp_directory_path();
    auto* d = new std::string((base / ("kvl_fuzz_config_" + std::to_string(getpid()))).string());
    fs::create_directories(*d);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(Folder(), ec);
    });
    return d;
  }();
  return *dir;
}

void WriteFile(const std::string& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes ReadFile(const std::string& p) {
  Bytes b;
  if (std::FILE* f = std::fopen(p.c_str(), "rb")) {
    uint8_t buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
  }
  return b;
}

uint32_t Le32(const Bytes& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | (at + i < b.size() ? b[at + i] : 0);
  return v;
}

// Field offsets of the two layouts.
constexpr int kSvjac9 = 36, kComm9 = 32, kSvjac5 = 32, kComm5 = 28;

void CheckIcx(const kvl::Variant& v, const Bytes& file, const std::string& path) {
  const kvl::Variant& other = v.rasreField ? kvl::kNet5 : kvl::kNet9;
  const int svjacAt = v.rasreField ? kSvjac9 : kSvjac5, commAt = v.rasreField ? kComm9 : kComm5;
  kvl::ChannelTable t(v);
  const kvl::LoadResult r = kvl::LoadConfiguration(t, path);
  FUZZ_CHECK(r.port0 >= 0 && r.port0 < kvl::kPortCount);
  const Bytes image = kvl::EncodeTable(t);
  FUZZ_CHECK(image.size() == v.FileSize());
  if (file.size() == other.FileSize()) {  // the other program's file: refused, nothing read
    FUZZ_CHECK(r.endProgram && r.messages.size() == 1 && r.port0 == 0);
    FUZZ_CHECK(image == Bytes(v.FileSize(), 0));
    return;
  }
  FUZZ_CHECK(!r.endProgram);
  // The file's bytes, cut or padded with zeros to the table, with no channel linked.
  Bytes want(v.FileSize(), 0);
  std::copy_n(file.begin(), std::min<size_t>(file.size(), want.size()), want.begin());
  for (int rec = 0; rec < v.satvRecords; ++rec)
    std::memset(want.data() + rec * v.recordSize + svjacAt, 0, 4);
  FUZZ_CHECK(image == want);
  const uint32_t comm = Le32(file, commAt);
  FUZZ_CHECK(r.port0 == (comm < 10 ? static_cast<int>(comm) : 0));
  FUZZ_CHECK(r.messages.size() == (comm < 10 ? 0u : 1u));
  for (int i = 0; i < v.satvRecords; ++i)
    FUZZ_CHECK(t.Satv[i].fsaton == 0 && t.Satv[i].fsatoff == 0 && t.m_count1[i] == 0);

  // Save on another port, load again: the same table; the tail of the file kept.
  const int port = static_cast<int>(file.empty() ? 0 : file.back() % 10);
  FUZZ_CHECK(kvl::SaveConfiguration(t, port, path).empty());
  const Bytes saved = ReadFile(path);
  FUZZ_CHECK(saved.size() == std::max<size_t>(file.size(), v.FileSize()));
  const Bytes head = kvl::EncodeTable(t);
  FUZZ_CHECK(std::equal(head.begin(), head.end(), saved.begin()));
  FUZZ_CHECK(std::equal(saved.begin() + v.FileSize(), saved.end(),
                        file.begin() + std::min<size_t>(file.size(), v.FileSize())));
  kvl::ChannelTable u(v);
  const kvl::LoadResult r2 = kvl::LoadConfiguration(u, path);
  FUZZ_CHECK(r2.messages.empty() && !r2.endProgram && r2.port0 == port);
  FUZZ_CHECK(kvl::EncodeTable(u) == head);
}

void CheckDfg(const Bytes& file, const std::string& path) {
  const kvl::solo::SoloConfig c = kvl::solo::LoadSoloConfig(path);
  const uint8_t port = file.size() > 0 ? file[0] : 0, addr = file.size() > 1 ? file[1] : 0;
  FUZZ_CHECK(!c.endProgram && c.address == addr);
  FUZZ_CHECK(c.port0 == (port <= 9 ? port : 0));
  FUZZ_CHECK(c.messages.size() == (port <= 9 ? 0u : 1u));
  const int newPort = (port + 1) % 10, newAddr = addr ^ 0x5A;
  FUZZ_CHECK(kvl::solo::SaveSoloConfig(newPort, newAddr, path).empty());
  Bytes want = file;
  if (want.size() < 2) want.resize(2);
  want[0] = static_cast<uint8_t>(newPort);
  want[1] = static_cast<uint8_t>(newAddr);
  FUZZ_CHECK(ReadFile(path) == want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes file(data, data + size);
  const std::string icx = Folder() + "/KVL.icx", dfg = Folder() + "/KVL.dfg";
  for (const kvl::Variant* v : {&kvl::kNet9, &kvl::kNet5}) {
    WriteFile(icx, file);
    CheckIcx(*v, file, icx);
  }
  WriteFile(dfg, file);
  CheckDfg(file, dfg);
  // A save leaves nothing else in the folder.
  FUZZ_CHECK(!fs::exists(kvl::TemporaryName(icx)) && !fs::exists(kvl::TemporaryName(dfg)));
  return 0;
}
