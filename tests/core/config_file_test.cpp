// "KVL.icx": layouts, loading rules and bad files.
#include "network/config_file.h"
#include "serial/link.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace kvl {
namespace {

namespace fs = std::filesystem;

class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kvlcfg_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    path_ = (dir_ / "KVL.icx").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::vector<uint8_t>& b) {
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  std::vector<uint8_t> Read() {
    std::ifstream f(path_, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
  }
  static uint32_t At(const std::vector<uint8_t>& b, size_t off) {
    return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
  }
  fs::path dir_;
  std::string path_;
};

TEST_F(ConfigFile, Net9LayoutHasFieldsAtTheirOffsets) {
  ChannelTable t(kNet9);
  t.Data[3] = {12345, 1, 1, 1, 1, 0, 1, 1, 0, 1, 17, 1, 15, 5, 12, 3};
  t.Data[10].n_ofqx = 0xDEADBEEF;  // spare record
  EXPECT_TRUE(SaveConfiguration(t, 6, path_).empty());
  const auto b = Read();
  ASSERT_EQ(b.size(), 704u);
  const size_t r3 = 3 * 64;
  EXPECT_EQ(At(b, r3 + 0), 12345u);
  EXPECT_EQ(At(b, r3 + 24), 1u);   // fgasset
  EXPECT_EQ(At(b, r3 + 36), 1u);   // svjac saved unchanged
  EXPECT_EQ(At(b, r3 + 40), 17u);  // net
  EXPECT_EQ(At(b, r3 + 48), 15u);  // your
  EXPECT_EQ(At(b, r3 + 60), 3u);   // ver
  EXPECT_EQ(At(b, 32), 6u);        // comm of record 0 = port0
  EXPECT_EQ(At(b, 640), 0xDEADBEEFu);
}

TEST_F(ConfigFile, Net5LayoutIsTenFieldsOfFortyBytes) {
  ChannelTable t(kNet5);
  t.Data[4].net = 200;
  t.Data[4].svjac = 1;
  t.Data[4].fgasset = 1;
  EXPECT_TRUE(SaveConfiguration(t, 2, path_).empty());
  const auto b = Read();
  ASSERT_EQ(b.size(), 280u);
  EXPECT_EQ(At(b, 4 * 40 + 24), 1u);
  EXPECT_EQ(At(b, 4 * 40 + 32), 1u);
  EXPECT_EQ(At(b, 4 * 40 + 36), 200u);
  EXPECT_EQ(At(b, 28), 2u);
}

TEST_F(ConfigFile, RoundTripRestoresPortAndAddressesButNoLink) {
  for (const Variant* v : {&kNet9, &kNet5}) {
    ChannelTable t(*v);
    for (int i = 0; i < v->channels; ++i) {
      t.Data[i].net = 10 + i;
      t.Data[i].svjac = 1;
    }
    t.Satv[1].fsaton = 1;
    ASSERT_TRUE(SaveConfiguration(t, 9, path_).empty());
    ChannelTable u(*v);
    LoadResult r = LoadConfiguration(u, path_);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_FALSE(r.endProgram);
    EXPECT_EQ(r.port0, 9);
    for (int i = 0; i < v->channels; ++i) {
      EXPECT_EQ(u.Data[i].net, 10 + i);
      EXPECT_EQ(u.Data[i].svjac, 0) << v->program << " channel " << i;
    }
    EXPECT_EQ(u.Satv[1].fsaton, 0);
    fs::remove(path_);
  }
}

TEST_F(ConfigFile, SaveDoesNotTruncateALongerFile) {
  Write(std::vector<uint8_t>(1000, 0x77));
  ChannelTable t(kNet9);
  ASSERT_TRUE(SaveConfiguration(t, 0, path_).empty());
  const auto b = Read();
  ASSERT_EQ(b.size(), 1000u);
  EXPECT_EQ(b[703], 0);
  EXPECT_EQ(b[704], 0x77);
}

TEST_F(ConfigFile, MissingFileEndsTheProgramWithBothMessages) {
  ChannelTable t(kNet9);
  LoadResult r = LoadConfiguration(t, path_);
  EXPECT_TRUE(r.endProgram);
  ASSERT_EQ(r.messages.size(), 2u);
  EXPECT_EQ(r.messages[0], (Message{"Не могу открыть файл KVL.icx в текущей директории", "Error"}));
  EXPECT_EQ(r.messages[1], (Message{"Не читается", "Error"}));
  EXPECT_EQ(r.port0, 0);
}

TEST_F(ConfigFile, ShortFileFillsOnlyTheLeadingBytes) {
  std::vector<uint8_t> b(64 + 44, 0);  // record 0 and most of record 1
  b[40] = 7;                           // net of channel 0
  b[64 + 40] = 8;                      // net of channel 1
  b[64 + 42] = 1;                      // its third byte
  Write(b);
  ChannelTable t(kNet9);
  t.Data[5].net = 99;  // would be stale if the read kept old values
  LoadResult r = LoadConfiguration(t, path_);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(t.Data[0].net, 7);
  EXPECT_EQ(t.Data[1].net, 8 + 0x10000);
  EXPECT_EQ(t.Data[1].rasre, 0);  // beyond the file
  EXPECT_EQ(t.Data[5].net, 0);
}

TEST_F(ConfigFile, EmptyFileStartsWithAnEmptyNetworkOnCom1) {
  Write({});
  ChannelTable t(kNet5);
  LoadResult r = LoadConfiguration(t, path_);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_FALSE(r.endProgram);
  EXPECT_EQ(r.port0, 0);
}

TEST_F(ConfigFile, OtherProgramsLayoutIsRefusedNotMisread) {
  ChannelTable five(kNet5);
  five.Data[1].net = 33;
  ASSERT_TRUE(SaveConfiguration(five, 3, path_).empty());
  ChannelTable nine(kNet9);
  LoadResult r = LoadConfiguration(nine, path_);
  EXPECT_TRUE(r.endProgram);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].text.find("regnet5"), std::string::npos);
  EXPECT_EQ(nine.Data[1].net, 0);
  EXPECT_EQ(r.port0, 0);

  fs::remove(path_);
  ASSERT_TRUE(SaveConfiguration(nine, 3, path_).empty());
  ChannelTable five2(kNet5);
  r = LoadConfiguration(five2, path_);
  EXPECT_TRUE(r.endProgram);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].text.find("regnet9"), std::string::npos);
}

TEST_F(ConfigFile, PortIndexOutsideTheTableIsReplacedWithCom1) {
  std::vector<uint8_t> b(704, 0);
  b[32] = 10;
  Write(b);
  ChannelTable t(kNet9);
  LoadResult r = LoadConfiguration(t, path_);
  EXPECT_EQ(r.port0, 0);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].text.find("COM1"), std::string::npos);
  EXPECT_FALSE(r.endProgram);
}

TEST_F(ConfigFile, RandomBytesNeverGiveAPortOutsideTheTableOrALink) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> b(rng() % 1200);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    Write(b);
    for (const Variant* v : {&kNet9, &kNet5}) {
      ChannelTable t(*v);
      LoadResult r = LoadConfiguration(t, path_);
      ASSERT_GE(r.port0, 0);
      ASSERT_LT(r.port0, kPortCount);
      for (int i = 0; i < v->channels; ++i) ASSERT_EQ(t.Data[i].svjac, 0);
    }
  }
}

TEST_F(ConfigFile, UnwritableLocationGivesBothMessages) {
  ChannelTable t(kNet9);
  const auto m = SaveConfiguration(t, 0, (dir_ / "no-such-dir" / "KVL.icx").string());
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].text, "Не могу открыть файл KVL.ini в текущей директории");
  EXPECT_EQ(m[1].text, "Не пишет");
}

}  // namespace
}  // namespace kvl
