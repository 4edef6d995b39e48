// Saves of KVL.icx and KVL.dfg that cannot tear: a failure injected at every step
// of the save leaves the old file exactly as it was, removes the temporary file
// and gives the operator the usual messages. Also a folder named like the file.
// Runs natively and, cross-built, under Wine with the Win32 steps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "network/config_file.h"
#include "solo/solo_config.h"
#include "support/temp_dir.h"

namespace kvl {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The native steps, with the step number failAt failing (every call but Remove
// counts). A failing close still closes, so that the temporary file can go.
class FailingSteps : public FileSteps {
 public:
  explicit FailingSteps(size_t failAt) : failAt_(failAt) {}
  std::vector<std::string> called;

  bool ReadExisting(const std::string& p, Bytes& out, bool& exists) override {
    return !Fails("read") && real_.ReadExisting(p, out, exists);
  }
  bool Create(const std::string& tmp, const std::string& target, Handle& h) override {
    return !Fails("create") && real_.Create(tmp, target, h);
  }
  bool Write(Handle h, const uint8_t* p, size_t n) override {
    return !Fails("write") && real_.Write(h, p, n);
  }
  bool Flush(Handle h) override { return !Fails("flush") && real_.Flush(h); }
  bool Close(Handle h) override { return real_.Close(h) && !Fails("close"); }
  bool Replace(const std::string& tmp, const std::string& target) override {
    return !Fails("replace") && real_.Replace(tmp, target);
  }
  void Remove(const std::string& p) override { real_.Remove(p); }

 private:
  bool Fails(const char* step) {
    called.push_back(step);
    return called.size() - 1 == failAt_;
  }
  size_t failAt_;
  FileSteps& real_ = NativeFileSteps();
};

// One kind of configuration file: how it is saved and what a failure says.
struct Kind {
  const char* name;
  std::function<std::vector<Message>(const std::string&, FileSteps&)> save;
  Bytes head;  // what the save puts at offset 0
  std::vector<Message> openFailed, writeFailed;
};

const std::vector<Message> kIcxOpen = {
    {"Не могу открыть файл KVL.ini в текущей директории", "Error"}, {"Не пишет", "Error"}};
const std::vector<Message> kIcxWrite = {{"Не пишет", "Error"}};
const std::vector<Message> kDfgOpen = {
    {"Не могу открыть файл KVL.dfg в текущей директории.Ошибка103", "Error"}};
const std::vector<Message> kDfgWrite = {{"Не пишет.Ошибка 117", "Error"}};

std::vector<Kind> Kinds() {
  std::vector<Kind> k;
  for (const Variant* v : {&kNet9, &kNet5}) {
    ChannelTable t(*v);
    t.Data[1].net = 42;
    t.Data[0].comm = 3;
    k.push_back({v->program,
                 [v](const std::string& p, FileSteps& s) {
                   ChannelTable u(*v);
                   u.Data[1].net = 42;
                   return SaveConfiguration(u, 3, p, s);
                 },
                 EncodeTable(t), kIcxOpen, kIcxWrite});
  }
  k.push_back({"regsolo",
               [](const std::string& p, FileSteps& s) { return solo::SaveSoloConfig(4, 17, p, s); },
               {4, 17},
               kDfgOpen,
               kDfgWrite});
  return k;
}

class ConfigSave : public ::testing::Test {
 protected:
  void Write(const Bytes& b) {
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  Bytes Read() {
    std::ifstream f(path_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }
  // Names in the folder, to see that nothing was left behind.
  std::vector<std::string> Folder() {
    std::vector<std::string> n;
    for (const auto& e : fs::directory_iterator(dir_)) n.push_back(e.path().filename().string());
    return n;
  }
  test::TempDir tmp_;
  const fs::path dir_ = tmp_.path();
  const std::string path_ = tmp_.File("KVL.cfg");
};

TEST_F(ConfigSave, AFailureAtAnyStepLeavesTheOldFileAsItWas) {
  // No file, a short one, and a long one whose bytes beyond the table are kept.
  const std::vector<Bytes> olds = {{}, Bytes(7, 0x55), Bytes(1000, 0x77)};
  for (const Kind& kind : Kinds()) {
    for (size_t o = 0; o < olds.size(); ++o) {
      SCOPED_TRACE(std::string(kind.name) + " old file " + std::to_string(o));
      const bool exists = o > 0;
      Bytes expected = olds[o];
      if (expected.size() < kind.head.size()) expected.resize(kind.head.size());
      std::copy(kind.head.begin(), kind.head.end(), expected.begin());
      std::vector<std::string> seen;
      for (size_t failAt = 0;; ++failAt) {
        SCOPED_TRACE(failAt);
        fs::remove(path_);
        if (exists) Write(olds[o]);
        FailingSteps steps(failAt);
        const auto m = kind.save(path_, steps);
        if (failAt >= steps.called.size()) {  // every step passed
          EXPECT_TRUE(m.empty());
          EXPECT_EQ(Read(), expected);
          break;
        }
        const std::string step = steps.called[failAt];
        seen.push_back(step);
        EXPECT_EQ(m, step == "read" || step == "create" ? kind.openFailed : kind.writeFailed)
            << step;
        EXPECT_EQ(fs::exists(path_), exists) << step;
        if (exists) {
          EXPECT_EQ(Read(), olds[o]) << step;
        }
        EXPECT_EQ(Folder(),
                  exists ? std::vector<std::string>{"KVL.cfg"} : std::vector<std::string>{})
            << step;
      }
      // The table and the kept tail are two writes.
      const std::vector<std::string> all = {"read",  "create", "write",  "write",
                                            "flush", "close",  "replace"};
      std::vector<std::string> want = all;
      if (expected.size() == kind.head.size()) want.erase(want.begin() + 3);
      EXPECT_EQ(seen, want);
    }
  }
}

TEST_F(ConfigSave, AFolderNamedLikeTheFileIsNeitherReadNorReplaced) {
  fs::create_directory(path_);
  for (const Kind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    EXPECT_EQ(kind.save(path_, NativeFileSteps()), kind.openFailed);
    EXPECT_TRUE(fs::is_directory(path_));
    EXPECT_EQ(Folder(), std::vector<std::string>{"KVL.cfg"});
  }
  // Loading: the read fails (Windows cannot even open a folder), nothing is taken from it.
  ChannelTable t(kNet9);
  const LoadResult r = LoadConfiguration(t, path_);
  EXPECT_EQ(r.port0, 0);
  ASSERT_FALSE(r.messages.empty());
  EXPECT_EQ(r.messages.back(), (Message{"Не читается", "Error"}));
  EXPECT_EQ(EncodeTable(t), Bytes(704, 0));
  const solo::SoloConfig c = solo::LoadSoloConfig(path_);
  EXPECT_EQ(c.port0, 0);
  EXPECT_EQ(c.address, 0);
#ifdef _WIN32
  EXPECT_TRUE(r.endProgram);
  EXPECT_EQ(c.messages, kDfgOpen);
#else
  EXPECT_FALSE(r.endProgram);
  EXPECT_EQ(c.messages, (std::vector<Message>{{"Не читается.Ошибка105", "Error"}}));
#endif
}

#ifdef _WIN32
// A file marked read-only (on POSIX see config_save_posix_test.cpp).
TEST_F(ConfigSave, AReadOnlyFileIsLeftAsItWas) {
  for (const Kind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    Write({9, 9, 9});
    fs::permissions(path_,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(kind.save(path_, NativeFileSteps()), kind.openFailed);
    EXPECT_EQ(Read(), (Bytes{9, 9, 9}));
    EXPECT_EQ(Folder(), std::vector<std::string>{"KVL.cfg"});
    fs::permissions(path_, fs::perms::owner_write, fs::perm_options::add);
  }
}
#endif

}  // namespace
}  // namespace kvl
