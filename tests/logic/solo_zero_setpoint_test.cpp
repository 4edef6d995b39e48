// regsolo's zero-offset dialog and setpoint window.
#include "logic/solo_fixture.h"
#include "solo/setpoint_window.h"
#include "solo/zero_offset_dialog.h"

namespace kvl::test {
namespace {

using namespace kvl::solo;

class SoloZeroTest : public SoloTest {
 protected:
  // Connects to a regulator of this format and opens the zero-offset dialog,
  // operated by `body`.
  void OpenZero(uint8_t format, std::function<void(FakeDialog&, DialogLogic&)> body = {}) {
    reg.format = format;
    Start();
    Connect();
    ui.answers = {kIdYes};
    ui.onModal = std::move(body);
    prog.OnCommand(IDC_ZERO, 0);
    ui.onModal = nullptr;
  }
};

TEST_F(SoloZeroTest, InitialisationShowsOutputAndOffset) {
  reg.flow = -0.10;  // flow word 0x800A
  reg.offset = 0x1234;
  OpenZero(7);
  FakeDialog& d = LastDialog();
  EXPECT_EQ(d.templateId, 111);
  EXPECT_EQ(d.texts[IDX_SOLO_OUTPUT], "-0.1%");
  EXPECT_EQ(d.texts[IDX_SOLO_OFFSET], "4660");
  const auto read = reg.Seen(35);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0][1], 0xFF);  // flow device
  EXPECT_EQ(read[0][3], 0);
  EXPECT_EQ(read[0][6], 0xFF);
  EXPECT_EQ(read[0][7], 5);
  const auto& lines = prog.State().log.Lines();
  EXPECT_EQ(lines[lines.size() - 2].substr(0, 3), "17;");
  EXPECT_EQ(lines.back().substr(0, 6), "35;255");
}

TEST_F(SoloZeroTest, PositiveOutputHasItsSign) {
  reg.flow = 0.10;  // flow word 0x000A
  OpenZero(7);
  EXPECT_EQ(LastDialog().texts[IDX_SOLO_OUTPUT], "+0.1%");
}

TEST_F(SoloZeroTest, Format6UsesCode45ForReadAndWrite) {
  OpenZero(6, [](FakeDialog& d, DialogLogic& l) {
    d.SetText(IDX_SOLO_OFFSET, "300");
    l.OnCommand(d, IDX_SOLO_ZERO_BUTTON, 0);
  });
  EXPECT_EQ(LastDialog().templateId, 111);
  const auto frames = reg.Seen(45);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_TRUE(reg.Seen(35).empty());
  EXPECT_EQ(frames[1][3], 28);
  EXPECT_EQ(frames[1][4], 0x01);
  EXPECT_EQ(frames[1][5], 0x2C);
  EXPECT_EQ(frames[1][6], 0);
  EXPECT_EQ(reg.offset, 300);
}

TEST_F(SoloZeroTest, WriteThenShowsTheNewOutput) {
  OpenZero(7, [this](FakeDialog& d, DialogLogic& l) {
    d.SetText(IDX_SOLO_OFFSET, "300");
    reg.flow = -0.50;  // flow word 0x8032
    const size_t mark = Mark();
    l.OnCommand(d, IDX_SOLO_ZERO_BUTTON, 0);
    const auto w = WrittenSince(mark);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0], KormastAnswer({35, 0xFF, 0, 28, 0x01, 0x2C, 0, 5}));
    EXPECT_EQ(w[1][0], 17);
    EXPECT_EQ(d.texts[IDX_SOLO_OUTPUT], "-0.5%");
    l.OnCommand(d, kIdOk, 0);
  });
  EXPECT_TRUE(LastDialog().ended);
  EXPECT_TRUE(ui.messages.size() == 1u);  // only the confirmation
}

TEST_F(SoloZeroTest, OldFormatHasNoOffsetFieldAndWritesZero) {
  reg.offset = 999;
  OpenZero(5, [](FakeDialog& d, DialogLogic& l) {
    EXPECT_EQ(d.texts.count(IDX_SOLO_OFFSET), 0u);
    l.OnCommand(d, IDX_SOLO_ZERO_BUTTON, 0);
  });
  EXPECT_EQ(LastDialog().templateId, 130);
  const auto frames = reg.Seen(35);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1][4], 0);
  EXPECT_EQ(frames[1][5], 0);
  EXPECT_EQ(reg.offset, 0);
}

TEST_F(SoloZeroTest, OffsetsOutsideTwoBytesAreRefusedAndNothingIsSent) {
  OpenZero(7, [this](FakeDialog& d, DialogLogic& l) {
    // 4294967297 is 1 once wrapped in a 32-bit long.
    for (const char* typed : {"-1", "65536", "100000", "12a", "", "4294967297"}) {
      SCOPED_TRACE(typed);
      d.SetText(IDX_SOLO_OFFSET, typed);
      const size_t mark = Mark();
      const size_t shown = ui.messages.size();
      l.OnCommand(d, IDX_SOLO_ZERO_BUTTON, 0);
      EXPECT_TRUE(WrittenSince(mark).empty());
      ASSERT_EQ(ui.messages.size(), shown + 1);
      EXPECT_TRUE(
          IsBox(ui.messages.back(), "Смещение вне допустимого диапазона(0-65535)", ".Ошибка120"));
    }
    d.SetText(IDX_SOLO_OFFSET, "65535");
    l.OnCommand(d, IDX_SOLO_ZERO_BUTTON, 0);
  });
  EXPECT_EQ(reg.offset, 65535);
}

TEST_F(SoloZeroTest, SilentRegulatorAsksToRepeat) {
  reg.format = 7;
  Start();
  Connect();
  reg.silent = true;
  ui.answers = {kIdYes};
  ui.onModal = [](FakeDialog& d, DialogLogic& l) {
    d.SetText(IDX_SOLO_OFFSET, "10");
    l.OnCommand(d, IDX_SOLO_ZERO_BUTTON, 0);
  };
  prog.OnCommand(IDC_ZERO, 0);
  // One for the failed initialisation (it stops at the output), one for the write.
  EXPECT_EQ(ui.Texts(),
            (std::vector<std::string>{"Операция проводится при нуле расходе на эталоне.Продолжить?",
                                      "Повторите операцию.", "Повторите операцию."}));
  EXPECT_EQ(reg.Seen(35).size(), 5u);  // only the write's five attempts
}

// ---- setpoint window ------------------------------------------------------------

class SoloSetpointTest : public SoloTest {
 protected:
  FakeDialog& OpenWindow() {
    Start();
    Connect();
    prog.OnCommand(IDC_INPUT_DIGITAL, 0);
    return LastDialog();
  }
  // The program's own window logic.
  DialogLogic& Logic() { return *ui.modelessLogic; }
};

TEST_F(SoloSetpointTest, PresetsAreListed) {
  FakeDialog& d = OpenWindow();
  ASSERT_EQ(d.lists[IDX_SETPOINT_PRESETS].size(), 11u);
  EXPECT_EQ(d.lists[IDX_SETPOINT_PRESETS][0], "0%");
  EXPECT_EQ(d.lists[IDX_SETPOINT_PRESETS][5], "50%");
  EXPECT_EQ(d.lists[IDX_SETPOINT_PRESETS][10], "100%");
}

TEST_F(SoloSetpointTest, Preset50SendsFiveThousandAndShowsTheAcceptedValue) {
  FakeDialog& d = OpenWindow();
  const size_t mark = Mark();
  d.ListSelect(IDX_SETPOINT_PRESETS, 5);
  Logic().OnCommand(d, IDX_SETPOINT_PRESETS, 1);
  const auto w = WrittenSince(mark);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0][0], 37);
  EXPECT_EQ(w[0][1], 0);
  EXPECT_EQ(w[0][2], 0x13);
  EXPECT_EQ(w[0][3], 0x88);
  EXPECT_EQ(w[0][7], 5);
  EXPECT_EQ(d.texts[IDX_SETPOINT_EDIT], "50.0");
  EXPECT_EQ(prog.State().Current().fopzi, 1);
  EXPECT_EQ(prog.State().log.Lines().back().substr(0, 11), "37;0;19-136");
}

TEST_F(SoloSetpointTest, TypedValuesAreRoundedAboveOneHalf) {
  FakeDialog& d = OpenWindow();
  d.ListSelect(IDX_SETPOINT_PRESETS, 3);
  for (auto [typed, units] : {std::pair{"12.345", 1234}, std::pair{"12.346", 1235},
                              std::pair{"0", 0}, std::pair{"100", 10000}, std::pair{"33,3", 3330},
                              std::pair{"150 %", 15000}, std::pair{"655.35", 65535}}) {
    SCOPED_TRACE(typed);
    d.SetText(IDX_SETPOINT_EDIT, typed);
    Logic().OnCommand(d, IDX_SETPOINT_SEND, 0);
    // What the regulator was told (it keeps at most 100 % itself).
    const auto sent = reg.Seen(CMD_SETPOINT).back();
    EXPECT_EQ(sent[2] * 256 + sent[3], units);
    EXPECT_EQ(d.texts[IDX_SETPOINT_EDIT], typed);  // the edit keeps the typed text
    EXPECT_EQ(d.ListSelection(IDX_SETPOINT_PRESETS), -1);
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SoloSetpointTest, TypedValuesOutsideTheRangeAreRefused) {
  FakeDialog& d = OpenWindow();
  prog.State().Current().fopzi = 0;
  for (const char* typed : {"655.36", "-1", "abc", ""}) {
    SCOPED_TRACE(typed);
    const size_t mark = Mark();
    ui.messages.clear();
    d.SetText(IDX_SETPOINT_EDIT, typed);
    Logic().OnCommand(d, IDX_SETPOINT_SEND, 0);
    EXPECT_TRUE(WrittenSince(mark).empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    // The network programs' words; regsolo's number in the caption.
    EXPECT_TRUE(
        IsBox(ui.messages[0], "Задание вне допустимого диапазона(0-655.35%)", ".Ошибка120"));
  }
  EXPECT_EQ(prog.State().Current().fopzi, 0);
}

TEST_F(SoloSetpointTest, FailedSetpointShowsMessage100AndKeepsTheInput) {
  FakeDialog& d = OpenWindow();
  prog.State().Current().fopzi = 0;
  reg.silent = true;
  d.ListSelect(IDX_SETPOINT_PRESETS, 2);
  Logic().OnCommand(d, IDX_SETPOINT_PRESETS, 1);
  d.SetText(IDX_SETPOINT_EDIT, "5");
  Logic().OnCommand(d, IDX_SETPOINT_SEND, 0);
  EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Нет связи.Ошибка100", "Нет связи.Ошибка100"}));
  EXPECT_EQ(prog.State().Current().fopzi, 0);
}

TEST_F(SoloSetpointTest, PortClosedMeanwhileGivesOneMessage100) {
  FakeDialog& d = OpenWindow();
  link.Close(0);
  d.ListSelect(IDX_SETPOINT_PRESETS, 2);
  Logic().OnCommand(d, IDX_SETPOINT_PRESETS, 1);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Нет связи.Ошибка100"});
}

TEST_F(SoloSetpointTest, OkOrTheCloseBoxCloseTheWindowEscDoesNot) {
  FakeDialog& first = OpenWindow();
  ASSERT_EQ(prog.State().flist[0], 1);
  Logic().OnCommand(first, kIdCancel, 0);
  EXPECT_FALSE(first.ended);
  Logic().OnCommand(first, kIdOk, 0);
  EXPECT_TRUE(first.ended);
  EXPECT_EQ(prog.State().flist[0], 0);
  prog.OnCommand(IDC_INPUT_DIGITAL, 0);
  EXPECT_NE(&LastDialog(), &first);
  EXPECT_EQ(prog.State().flist[0], 1);
  Logic().OnClose(LastDialog());
  EXPECT_TRUE(LastDialog().ended);
  EXPECT_EQ(prog.State().flist[0], 0);
}

}  // namespace
}  // namespace kvl::test
