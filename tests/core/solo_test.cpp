// Single-regulator program: "KVL.dfg" and its status layouts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "solo/solo_config.h"
#include "solo/solo_flags.h"
#include "support/temp_dir.h"

namespace kvl::solo {
namespace {

namespace fs = std::filesystem;

class SoloConfigFile : public ::testing::Test {
 protected:
  void Write(std::vector<uint8_t> b) {
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }
  std::vector<uint8_t> Read() {
    std::ifstream f(path_, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
  }
  test::TempDir tmp_;
  const fs::path dir_ = tmp_.path();
  const std::string path_ = tmp_.File("KVL.dfg");
};

TEST_F(SoloConfigFile, MissingFileEndsTheProgram) {
  SoloConfig c = LoadSoloConfig(path_);
  EXPECT_TRUE(c.endProgram);
  ASSERT_EQ(c.messages.size(), 1u);
  EXPECT_EQ(c.messages[0].text, "Не могу открыть файл KVL.dfg в текущей директории.Ошибка103");
}

TEST_F(SoloConfigFile, OneByteGivesPortAndAddressZero) {
  Write({3});
  SoloConfig c = LoadSoloConfig(path_);
  EXPECT_FALSE(c.endProgram);
  EXPECT_TRUE(c.messages.empty());
  EXPECT_EQ(c.port0, 3);
  EXPECT_EQ(c.address, 0);
}

TEST_F(SoloConfigFile, LongFileUsesAndRewritesOnlyTwoBytes) {
  Write({2, 200, 9, 9, 9});
  SoloConfig c = LoadSoloConfig(path_);
  EXPECT_EQ(c.port0, 2);
  EXPECT_EQ(c.address, 200);
  EXPECT_TRUE(SaveSoloConfig(4, 17, path_).empty());
  EXPECT_EQ(Read(), (std::vector<uint8_t>{4, 17, 9, 9, 9}));
}

TEST_F(SoloConfigFile, PortByteAboveNineIsReplacedWithCom1) {
  Write({200, 5});
  SoloConfig c = LoadSoloConfig(path_);
  EXPECT_EQ(c.port0, 0);
  EXPECT_EQ(c.address, 5);
  ASSERT_EQ(c.messages.size(), 1u);
  EXPECT_EQ(c.messages[0].text,
            "В файле KVL.dfg номер порта 200 вне диапазона COM1-COM10. Выбран порт COM1.Ошибка119");
  EXPECT_EQ(c.messages[0].caption, "Error");
  EXPECT_FALSE(c.endProgram);
}

TEST_F(SoloConfigFile, SaveCreatesAMissingFile) {
  EXPECT_TRUE(SaveSoloConfig(1, 255, path_).empty());
  EXPECT_EQ(Read(), (std::vector<uint8_t>{1, 255}));
  const auto m = SaveSoloConfig(1, 2, (dir_ / "absent" / "KVL.dfg").string());
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "Не могу открыть файл KVL.dfg в текущей директории.Ошибка103");
}

TEST(SoloFlags, LayoutAForFormats6And7) {
  for (unsigned fmt : {6u, 7u}) {
    StatusFlags f;
    PortFlags p;
    const uint8_t r[10] = {1, 0x0F, 0, 0, 0, 0, 0x77, 0, 0, 0};
    SetFlags(r, fmt, f, p);
    EXPECT_EQ(f.frasre, 1);
    EXPECT_EQ(f.fstvoff, 1);
    EXPECT_EQ(f.fstvon, 1);
    EXPECT_EQ(p.fopzi, 1);
    EXPECT_EQ(p.freg, 1);
    EXPECT_EQ(f.fexternal, 1);
    EXPECT_EQ(f.fIinter, 1);
    EXPECT_EQ(f.fgasset, 1);
    EXPECT_EQ(f.flagPres, 1);
    EXPECT_EQ(f.fda0, 1);
    EXPECT_EQ(p.favari, 1);
    EXPECT_EQ(f.fvnech, 1);  // (external == 0) xor open = 0 xor 1
  }
}

TEST(SoloFlags, LayoutBForOtherFormatsKeepsCommandValveFlags) {
  StatusFlags f;
  f.fstvon = 1;
  f.fstvoff = 1;
  PortFlags p;
  const uint8_t r[10] = {1, 0x89, 0, 0, 0, 0, 0x58, 0, 0, 0};  // b6: fgasset, flagPres, bit3 set
  SetFlags(r, 5, f, p);
  EXPECT_EQ(p.favari, 1);
  EXPECT_EQ(p.fopzi, 1);
  EXPECT_EQ(p.freg, 1);
  EXPECT_EQ(f.fgasset, 1);
  EXPECT_EQ(f.flagPres, 1);
  EXPECT_EQ(f.frasre, 0);  // inverse of bit 3
  EXPECT_EQ(f.fda0, 0);
  EXPECT_EQ(f.fexternal, 0);
  EXPECT_EQ(f.fIinter, 0);
  EXPECT_EQ(f.fvnech, 1);  // no external control: held by the analogue signal
  EXPECT_EQ(f.fstvon, 1);
  EXPECT_EQ(f.fstvoff, 1);
  const uint8_t r2[10] = {1, 0, 0, 0, 0, 0, 0x02, 0, 0, 0};
  SetFlags(r2, 8, f, p);
  EXPECT_EQ(f.fexternal, 1);
  EXPECT_EQ(f.fvnech, 0);
  EXPECT_EQ(p.freg, 0);
}

}  // namespace
}  // namespace kvl::solo
