// Saves of KVL.icx and KVL.dfg on a real read-only file, a read-only folder, a
// full disk and a device. The suite runs as root in CI, and root ignores
// permission bits; so as root the folder is a small tmpfs of the test's own
// (full when filled, read-only when remounted) and a read-only file is a
// read-only bind mount of it. Without root the permission bits serve, and the
// full disk is skipped with the reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "network/config_file.h"
#include "solo/solo_config.h"

namespace kvl {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const std::vector<Message> kIcxOpen = {
    {"Не могу открыть файл KVL.ini в текущей директории", "Error"}, {"Не пишет", "Error"}};

class ConfigSavePosix : public ::testing::Test {
 protected:
  void SetUp() override {
    char t[] = "/tmp/kvlsave.XXXXXX";
    ASSERT_NE(mkdtemp(t), nullptr);
    dir_ = t;
    root_ = geteuid() == 0;
    if (root_) {
      // Mounts of this test process only: they vanish with it, whatever happens.
      if (unshare(CLONE_NEWNS) == 0) mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
      if (mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0)
        GTEST_SKIP() << "running as root, but cannot mount a tmpfs: " << std::strerror(errno);
      mounted_ = true;
    }
    icx_ = dir_ + "/KVL.icx";
    dfg_ = dir_ + "/KVL.dfg";
    Write(icx_, Bytes(704, 0x11));
    Write(dfg_, {2, 5, 7});
  }
  void TearDown() override {
    for (const std::string& m : binds_) umount(m.c_str());
    if (mounted_) umount(dir_.c_str());
    chmod(dir_.c_str(), 0755);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static void Write(const std::string& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  static Bytes Read(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }
  std::vector<std::string> Folder() const {
    std::vector<std::string> n;
    for (const auto& e : fs::directory_iterator(dir_)) n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
  }
  // Saves both files and expects them, and the folder, as they were.
  void ExpectBothSavesFail(const std::vector<Message>& icx, const std::vector<Message>& dfg) {
    const auto before = Folder();
    ChannelTable t(kNet9);
    t.Data[0].net = 99;
    EXPECT_EQ(SaveConfiguration(t, 1, icx_), icx);
    EXPECT_EQ(solo::SaveSoloConfig(4, 17, dfg_), dfg);
    EXPECT_EQ(Read(icx_), Bytes(704, 0x11));
    EXPECT_EQ(Read(dfg_), (Bytes{2, 5, 7}));
    EXPECT_EQ(Folder(), before);
  }
  void MakeReadOnly(const std::string& p) {
    if (!root_) {
      ASSERT_EQ(chmod(p.c_str(), 0444), 0);
      return;
    }
    ASSERT_EQ(mount(p.c_str(), p.c_str(), nullptr, MS_BIND, nullptr), 0) << std::strerror(errno);
    binds_.push_back(p);
    ASSERT_EQ(mount(nullptr, p.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
  }

  std::string dir_, icx_, dfg_;
  bool root_ = false, mounted_ = false;
  std::vector<std::string> binds_;
};

const std::vector<Message> kDfgOpen = {
    {"Не могу открыть файл KVL.dfg в текущей директории.Ошибка103", "Error"}};

TEST_F(ConfigSavePosix, ReadOnlyFilesAreLeftAsTheyWere) {
  MakeReadOnly(icx_);
  MakeReadOnly(dfg_);
  ExpectBothSavesFail(kIcxOpen, kDfgOpen);
  // Still read at start-up.
  ChannelTable t(kNet9);
  LoadConfiguration(t, icx_);
  EXPECT_EQ(t.Data[1].net, 0x11111111);
  EXPECT_EQ(solo::LoadSoloConfig(dfg_).address, 5);
}

TEST_F(ConfigSavePosix, ReadOnlyFolderKeepsBothFiles) {
  if (root_)
    ASSERT_EQ(mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
  else
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
  ExpectBothSavesFail(kIcxOpen, kDfgOpen);
}

TEST_F(ConfigSavePosix, FullDiskKeepsBothFilesAndLeavesNoTemporaryFile) {
  if (!root_) GTEST_SKIP() << "a full disk needs root, to mount a small tmpfs";
  {
    std::ofstream filler(dir_ + "/filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
  }
  ExpectBothSavesFail({{"Не пишет", "Error"}}, {{"Не пишет.Ошибка 117", "Error"}});
}

TEST_F(ConfigSavePosix, ADeviceIsNeverReplaced) {
  // /dev/full takes no write; a save must not put a file in its place either.
  ChannelTable t(kNet9);
  EXPECT_EQ(SaveConfiguration(t, 0, "/dev/full"), kIcxOpen);
  EXPECT_EQ(solo::SaveSoloConfig(0, 1, "/dev/full"), kDfgOpen);
  struct stat st {};
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_FALSE(fs::exists("/dev/full.tmp"));
}

}  // namespace
}  // namespace kvl
