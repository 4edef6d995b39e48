// regsolo's connection dialog: port choice, open and close, finding and
// identifying the regulator, address and speed change, mode memorising, saving.
#include "logic/solo_fixture.h"
#include "protocol/exchange_log.h"

namespace kvl::test {
namespace {

using namespace kvl::solo;

class SoloConnectionTest : public SoloTest {
 protected:
  // Runs the dialog; the test operates it in `body`.
  void Run(std::function<void(FakeDialog&, DialogLogic&)> body) {
    ui.onModal = std::move(body);
    prog.OnCommand(IDC_SETUP, 0);
    ui.onModal = nullptr;
  }
  static void Open(FakeDialog& d, DialogLogic& l) {
    d.SetCheck(IDX_PORT_OPEN, true);
    l.OnCommand(d, IDX_PORT_OPEN, 0);
  }
  static void Type(FakeDialog& d, DialogLogic& l, const std::string& text) {
    d.SetText(IDX_SETUP_NET, text);
    l.OnCommand(d, IDX_SETUP_NET, kEnChange);
  }
};

TEST_F(SoloConnectionTest, InitialisationWithTheClosedPort) {
  Start(2, 7);
  Run([](FakeDialog&, DialogLogic&) {});
  FakeDialog& d = LastDialog();
  EXPECT_EQ(d.templateId, 114);
  EXPECT_EQ(d.texts[IDX_SETUP_NET], "7");
  EXPECT_EQ(d.texts[IDX_SETUP_NEWNET], "7");
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], std::string(15, ' '));
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], std::string(15, ' '));
  ASSERT_EQ(d.lists[IDX_PORT_LIST].size(), 10u);
  EXPECT_EQ(d.lists[IDX_PORT_LIST][9], "COM10");
  EXPECT_EQ(d.ListSelection(IDX_PORT_LIST), 2);
  EXPECT_EQ(d.lists[IDX_SETUP_SPEED_LIST], (std::vector<std::string>{"9600", "19200", "38400"}));
  EXPECT_EQ(d.ListSelection(IDX_SETUP_SPEED_LIST), 1);
  EXPECT_EQ(d.texts[IDX_SETUP_CHANNEL], "1");
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт COM3 закрыт");
  EXPECT_TRUE(link.written.empty());
}

TEST_F(SoloConnectionTest, ReopeningWithAConnectedRegulatorIdentifiesItAgain) {
  Start();
  Connect();
  const size_t idents = reg.Seen(1).size();
  Run([](FakeDialog&, DialogLogic&) {});
  FakeDialog& d = LastDialog();
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт 1 открыт");
  EXPECT_TRUE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(reg.Seen(1).size(), idents + 1);
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "12345");

  // The regulator falls silent: the dialog says so and the link is dropped.
  reg.silent = true;
  Run([](FakeDialog&, DialogLogic&) {});
  FakeDialog& d2 = LastDialog();
  EXPECT_EQ(d2.texts[IDX_SETUP_LINK_STATE], "Не установлена");
  EXPECT_EQ(d2.texts[IDX_SETUP_SERIAL], "Не установлен");
  EXPECT_TRUE(Shown("Уточните номер канала"));
  EXPECT_FALSE(prog.State().Connected());
}

TEST_F(SoloConnectionTest, OpenPortWithoutConnectionSelectsTheCloseRadioOnReopen) {
  Start();
  Run([](FakeDialog& d, DialogLogic& l) { Open(d, l); });
  EXPECT_TRUE(link.IsOpen(0));
  EXPECT_TRUE(link.watched[0]);
  EXPECT_EQ(LastDialog().texts[IDX_PORT_STATE], "Порт COM1 открыт");
  Run([](FakeDialog&, DialogLogic&) {});
  FakeDialog& d = LastDialog();
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт 1 открыт");
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Не установлена");
  EXPECT_TRUE(d.GetCheck(IDX_PORT_CLOSE));
}

TEST_F(SoloConnectionTest, FailedOpenShowsWhatFailedAndMessage115) {
  Start(3, 5);
  // An absent device gives its name (109); a watcher that cannot start, 108.
  for (const bool watcher : {false, true}) {
    ui.messages.clear();
    link.failOpen[3] = !watcher;
    link.failWatcher[3] = watcher;
    Run([](FakeDialog& d, DialogLogic& l) { Open(d, l); });
    FakeDialog& d = LastDialog();
    EXPECT_FALSE(d.GetCheck(IDX_PORT_OPEN));
    EXPECT_FALSE(link.IsOpen(3));
    EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порта COM4 нет");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(IsBox(ui.messages[0], watcher ? ".Ошибка108" : "COM4",
                      watcher ? "Error" : ".Ошибка109", Owner::kDialog));
    EXPECT_TRUE(IsBox(ui.messages[1], "Connection failed..Ошибка115", "Error"));
    EXPECT_EQ(ui.messages[1].icon, MsgIcon::kWarning);
    EXPECT_EQ(ui.waitCursor, 0);
  }
}

TEST_F(SoloConnectionTest, ConnectAtTheTypedAddress) {
  Start(0, 1);
  Run([](FakeDialog& d, DialogLogic& l) {
    Open(d, l);
    Type(d, l, "5");
    EXPECT_EQ(d.texts[IDX_SETUP_NEWNET], "5");  // typed address copied
    l.OnCommand(d, IDX_SETUP_LINK, 0);
  });
  FakeDialog& d = LastDialog();
  const auto getnet = reg.Seen(2);
  ASSERT_EQ(getnet.size(), 1u);
  EXPECT_EQ(getnet[0], KormastAnswer({2, 0, 0, 0, 0, 0, 0, 5}));
  const auto ident = reg.Seen(1);
  ASSERT_EQ(ident.size(), 1u);
  EXPECT_EQ(ident[0], KormastAnswer({1, 0, 0, 0, 0, 0, 0, 5}));
  EXPECT_TRUE(prog.State().Connected());
  EXPECT_EQ(prog.State().version_KVL, 7u);
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "12345");  // identify's number replaces getnet's
  EXPECT_EQ(d.texts[IDX_SETUP_MODE], "Регулирование");
  EXPECT_EQ(d.texts[IDX_SETUP_INPUT], "Аналоговый");
  EXPECT_EQ(d.texts[IDX_SETUP_STATE], "Норма");
  EXPECT_TRUE(d.GetCheck(IDX_SETUP_MEM_ON));  // layout A byte 1 bit 4 clear: remembered
  EXPECT_FALSE(d.GetCheck(IDX_SETUP_MEM_OFF));
  EXPECT_EQ(prog.State().fsatbor, kValveRegulating);
  EXPECT_TRUE(ui.messages.empty());
  // Both answers are logged, getnet's first.
  const auto& lines = prog.State().log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 4), "2;7;");
  EXPECT_EQ(lines[1].substr(0, 4), "1;1;");
}

TEST_F(SoloConnectionTest, AddressZeroFindsTheRegulatorsOwnAddress) {
  Start(0, 1);
  reg.addr = 42;
  Run([](FakeDialog& d, DialogLogic& l) {
    Open(d, l);
    Type(d, l, "0");
    l.OnCommand(d, IDX_SETUP_LINK, 0);
  });
  FakeDialog& d = LastDialog();
  EXPECT_EQ(d.texts[IDX_SETUP_NET], "42");
  EXPECT_EQ(d.texts[IDX_SETUP_NEWNET], "42");
  EXPECT_EQ(prog.State().Address(), 42);
  EXPECT_TRUE(prog.State().Connected());
  EXPECT_EQ(reg.Seen(1).at(0)[7], 42);
}

TEST_F(SoloConnectionTest, AddressTypedAs300IsUsedAs44) {
  Start(0, 1);
  reg.addr = 44;
  Run([](FakeDialog& d, DialogLogic& l) {
    Open(d, l);
    Type(d, l, "300");
    l.OnCommand(d, IDX_SETUP_LINK, 0);
  });
  ASSERT_EQ(reg.Seen(2).size(), 1u);
  EXPECT_EQ(reg.Seen(2)[0][7], 44);
  EXPECT_TRUE(prog.State().Connected());
}

TEST_F(SoloConnectionTest, EmptyAddressEditGivesZero) {
  Start(0, 9);
  Run([](FakeDialog& d, DialogLogic& l) { Type(d, l, ""); });
  EXPECT_EQ(prog.State().Address(), 0);
}

TEST_F(SoloConnectionTest, SilentAtGetnetGoesOnWithTheTypedAddress) {
  Start(0, 1);
  reg.addr = 5;
  reg.format = 6;
  // The regulator ignores getnet but answers identify at its address.
  link.SetResponder([this](int, const FakeLink::Bytes& f) {
    if (f[0] == 2) return std::vector<FakeLink::Bytes>{};
    return reg.Answer(f);
  });
  Run([](FakeDialog& d, DialogLogic& l) {
    Open(d, l);
    Type(d, l, "5");
    l.OnCommand(d, IDX_SETUP_LINK, 0);
  });
  EXPECT_TRUE(Shown("Ошибка100"));
  EXPECT_TRUE(prog.State().Connected());
  EXPECT_EQ(prog.State().Address(), 5);
  EXPECT_EQ(prog.State().version_KVL, 0u);  // layout B then
}

TEST_F(SoloConnectionTest, RegulatorSilentAtIdentifyIsNotConnected) {
  Start(0, 1);
  reg.silentCodes = {CMD_IDENT};
  Run([](FakeDialog& d, DialogLogic& l) {
    Open(d, l);
    Type(d, l, "5");
    l.OnCommand(d, IDX_SETUP_LINK, 0);
  });
  FakeDialog& d = LastDialog();
  EXPECT_FALSE(prog.State().Connected());
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Не установлена");
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "Не установлен");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "Номер не установлен.", "ErrorSvjac"));
}

TEST_F(SoloConnectionTest, ButtonsWithThePortClosedSayPortClosed) {
  Start();
  Run([](FakeDialog& d, DialogLogic& l) {
    l.OnCommand(d, IDX_SETUP_LINK, 0);
    l.OnCommand(d, IDX_SETUP_CHANGE, 0);
    d.SetCheck(IDX_SETUP_MEM_OFF, true);
    l.OnCommand(d, IDX_SETUP_MEM_OFF, 0);
  });
  ASSERT_EQ(ui.messages.size(), 3u);
  for (const auto& m : ui.messages) {
    EXPECT_TRUE(IsBox(m, "Порт закрыт", "Предупреждение", Owner::kDialog));
  }
  EXPECT_TRUE(link.written.empty());
}

TEST_F(SoloConnectionTest, ChangeAndMemorisingWithoutConnectionShowMessage106) {
  Start();
  Run([](FakeDialog& d, DialogLogic& l) {
    Open(d, l);
    l.OnCommand(d, IDX_SETUP_CHANGE, 0);
    d.SetCheck(IDX_SETUP_MEM_ON, true);
    l.OnCommand(d, IDX_SETUP_MEM_ON, 0);
  });
  ASSERT_EQ(ui.messages.size(), 2u);
  for (const auto& m : ui.messages) {
    EXPECT_TRUE(IsBox(m, "Уточните номер канала.Ошибка106", "ErrorSvjac"));
  }
  EXPECT_TRUE(link.written.empty());
}

TEST_F(SoloConnectionTest, ChangeAddressWritesOnceWithoutWaitingAndTakesTheNewAddress) {
  Start();
  Connect();
  const size_t mark = Mark();
  Run([](FakeDialog& d, DialogLogic& l) {
    d.SetText(IDX_SETUP_NEWNET, "77");
    l.OnCommand(d, IDX_SETUP_CHANGE, 0);
  });
  const auto w = WrittenSince(mark);
  // Re-identify at start of the dialog, then the one address frame.
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[1][0], 27);
  EXPECT_EQ(w[1][2], 77);
  EXPECT_EQ(w[1][7], 5);
  EXPECT_EQ(prog.State().Address(), 77);
  EXPECT_EQ(LastDialog().texts[IDX_SETUP_NET], "77");
  EXPECT_EQ(reg.addr, 77);
  EXPECT_EQ(prog.State().log.Lines().back().substr(0, 2), "0;");
  EXPECT_TRUE(ui.messages.empty());

  // The regulator answers at its new address afterwards.
  ui.messages.clear();
  prog.OnCommand(IDC_KIND_FLOW, 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SoloConnectionTest, ChangeAddressOutsideTheRangeIsRefused) {
  Start();
  Connect();
  for (const char* typed : {"255", "300", "-1", "abc", ""}) {
    SCOPED_TRACE(typed);
    ui.messages.clear();
    const size_t mark = Mark();
    Run([&](FakeDialog& d, DialogLogic& l) {
      d.SetText(IDX_SETUP_NEWNET, typed);
      l.OnCommand(d, IDX_SETUP_CHANGE, 0);
    });
    for (const auto& f : WrittenSince(mark)) EXPECT_NE(f[0], 27);
    EXPECT_EQ(prog.State().Address(), 5);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(IsBox(ui.messages[0], "Номер сети вне допустимого диапазона(0-254)", ".Ошибка120"));
  }
}

TEST_F(SoloConnectionTest, AddressWriteProblemsAreToldAsEveryWritesAndAFailedOneAs102) {
  // The write is not repeated: what went wrong is told (111 to 114) as for
  // every other write; a write that was not issued is also message 102.
  const std::string dump = "dump";  // stands for the request dump (113)
  struct Case {
    WriteResult write;
    std::vector<std::pair<std::string, std::string>> told;
    bool taken;  // the regulator's new address is taken
  } cases[] = {
      {{WriteStatus::kRefused, 0}, {{".Ошибка102", "Error"}}, false},
      {{WriteStatus::kRefused, 4},
       {{"<CE-4>", "Ошибка записи 114"}, {".Ошибка102", "Error"}},
       false},
      {{WriteStatus::kCompletionError, 0}, {{"Ошибка записи 112", "Error"}}, true},
      {{WriteStatus::kCompletionError, 8},
       {{"Ошибка записи 112", "Error"}, {dump, "Ошибка записи 113"}},
       true},
  };
  Start();
  Connect();
  for (const Case& c : cases) {
    prog.State().nofcan[0] = 5;
    reg.addr = 5;  // a regulator that took the new address goes back
    ui.messages.clear();
    Run([&](FakeDialog& d, DialogLogic& l) {
      d.SetText(IDX_SETUP_NEWNET, "9");
      link.writeScript = {c.write};
      l.OnCommand(d, IDX_SETUP_CHANGE, 0);
    });
    std::vector<std::pair<std::string, std::string>> told;
    for (const auto& m : ui.messages)
      told.emplace_back(m.text == RequestDump(prog.State().rq.com.data()) ? dump : m.text,
                        m.caption);
    EXPECT_EQ(told, c.told) << static_cast<int>(c.write.status) << " " << c.write.lineErrors;
    EXPECT_EQ(prog.State().Address(), c.taken ? 9 : 5);
  }
}

TEST_F(SoloConnectionTest, SpeedChangeOnBothSides) {
  Start();
  Connect();
  Run([](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, 2);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, kSelChange);
  });
  const auto speed = reg.Seen(22);
  ASSERT_EQ(speed.size(), 1u);
  EXPECT_EQ(speed[0][2], 1);  // 38400
  EXPECT_EQ(prog.State().nUartIndex, 2);
  EXPECT_EQ(link.speed[0], 2);
  EXPECT_EQ(LastDialog().texts[IDX_SETUP_CHANNEL], "2:38400");
  EXPECT_EQ(LastDialog().ListSelection(IDX_SETUP_SPEED_LIST), 2);
}

TEST_F(SoloConnectionTest, SpeedFollowsTheRegulatorsAnswer) {
  Start();
  Connect();
  reg.speedAnswer = 0;  // the regulator went to 9600 whatever was asked
  Run([](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, 2);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, kSelChange);
  });
  EXPECT_EQ(prog.State().nUartIndex, 0);
  EXPECT_EQ(link.speed[0], 0);
  EXPECT_EQ(LastDialog().texts[IDX_SETUP_CHANNEL], "0:9600");
  EXPECT_EQ(LastDialog().ListSelection(IDX_SETUP_SPEED_LIST), 0);
}

TEST_F(SoloConnectionTest, SpeedChangeWithoutAnswerStillSwitchesTheComputer) {
  Start();
  Connect();
  reg.silent = true;
  Run([](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, 0);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, kSelChange);
  });
  EXPECT_TRUE(Shown("No сhange speed in KVL.Ошибка100"));
  EXPECT_EQ(prog.State().nUartIndex, 0);
  EXPECT_EQ(link.speed[0], 0);
  EXPECT_EQ(LastDialog().texts[IDX_SETUP_CHANNEL], "0:9600");
}

TEST_F(SoloConnectionTest, FailedComputerSpeedShowsMessage116) {
  Start();
  Connect();
  link.failSpeed[0] = true;
  Run([](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, 2);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, kSelChange);
  });
  EXPECT_TRUE(Shown("No set new speed in comp.Ошибка116"));
}

TEST_F(SoloConnectionTest, SpeedChoiceWithThePortClosedSendsNothing) {
  Start();
  Run([](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, 2);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, kSelChange);
  });
  EXPECT_TRUE(link.written.empty());
  EXPECT_TRUE(Shown("Порт закрыт"));
  EXPECT_EQ(prog.State().nUartIndex, 1);
  EXPECT_EQ(LastDialog().ListSelection(IDX_SETUP_SPEED_LIST), 1);
}

TEST_F(SoloConnectionTest, ReopenedPortRunsAtTheChosenSpeed) {
  Start();
  Connect();
  Run([](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, 2);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, kSelChange);
    d.SetCheck(IDX_PORT_OPEN, false);
    d.SetCheck(IDX_PORT_CLOSE, true);
    l.OnCommand(d, IDX_PORT_CLOSE, 0);
    Open(d, l);
  });
  EXPECT_TRUE(link.IsOpen(0));
  EXPECT_EQ(link.speed[0], 2);
}

TEST_F(SoloConnectionTest, MemorisingRadiosFollowTheEcho) {
  Start();
  Connect();
  Run([](FakeDialog& d, DialogLogic& l) {
    d.SetCheck(IDX_SETUP_MEM_ON, false);
    d.SetCheck(IDX_SETUP_MEM_OFF, true);
    l.OnCommand(d, IDX_SETUP_MEM_OFF, 0);
  });
  auto r = reg.Seen(31);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][1], 1);
  EXPECT_TRUE(LastDialog().GetCheck(IDX_SETUP_MEM_OFF));
  EXPECT_FALSE(LastDialog().GetCheck(IDX_SETUP_MEM_ON));
  EXPECT_EQ(prog.State().log.Lines().back().substr(0, 5), "31;1;");

  // An answer other than the echo leaves the radios as the click left them.
  reg.rasreAnswer = 7;
  Run([](FakeDialog& d, DialogLogic& l) {
    d.SetCheck(IDX_SETUP_MEM_OFF, false);
    d.SetCheck(IDX_SETUP_MEM_ON, true);
    l.OnCommand(d, IDX_SETUP_MEM_ON, 0);
    EXPECT_TRUE(d.GetCheck(IDX_SETUP_MEM_ON));
    EXPECT_FALSE(d.GetCheck(IDX_SETUP_MEM_OFF));
    d.SetCheck(IDX_SETUP_MEM_ON, false);  // clicked "Нет" afterwards; the answer is no echo
    d.SetCheck(IDX_SETUP_MEM_OFF, true);
    l.OnCommand(d, IDX_SETUP_MEM_OFF, 0);
  });
  r = reg.Seen(31);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[1][1], 0);
  EXPECT_TRUE(LastDialog().GetCheck(IDX_SETUP_MEM_OFF));
  EXPECT_FALSE(LastDialog().GetCheck(IDX_SETUP_MEM_ON));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SoloConnectionTest, MemorisingFailuresHaveTheirOwnTexts) {
  Start();
  Connect();
  Run([this](FakeDialog& d, DialogLogic& l) {
    reg.silent = true;  // after the dialog identified it again
    d.SetCheck(IDX_SETUP_MEM_OFF, true);
    l.OnCommand(d, IDX_SETUP_MEM_OFF, 0);
    d.SetCheck(IDX_SETUP_MEM_ON, true);
    l.OnCommand(d, IDX_SETUP_MEM_ON, 0);
  });
  const auto t = ui.Texts();
  ASSERT_GE(t.size(), 2u);
  EXPECT_EQ(t[t.size() - 2], ".Ошибка100");
  EXPECT_EQ(t.back(), "Ошибка100");
}

TEST_F(SoloConnectionTest, ChoosingAnotherPortClosesTheOldOneFirst) {
  Start();
  Connect();
  const size_t mark = Mark();
  Run([](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_PORT_LIST, 4);
    l.OnCommand(d, IDX_PORT_LIST, kSelChange);
  });
  const auto w = WrittenSince(mark);
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(w.back()[0], 1);  // the closing frame
  EXPECT_EQ(w.back()[1], 6);
  EXPECT_FALSE(link.IsOpen(0));
  EXPECT_EQ(prog.State().port0, 4);
  EXPECT_FALSE(prog.State().fsvjac[0]);
  FakeDialog& d = LastDialog();
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт COM1 закрыт");
  EXPECT_FALSE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");  // not refreshed
  // Closed from the dialog: the main menu is updated only after it closes.
  EXPECT_FALSE(ui.Enabled(IDC_INPUT_ANALOG));
}

TEST_F(SoloConnectionTest, OkSavesPortAndAddressAndCreatesTheFile) {
  Start(0, 5);
  std::filesystem::remove(cfg);
  Run([](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_PORT_LIST, 6);
    l.OnCommand(d, IDX_PORT_LIST, kSelChange);
    Type(d, l, "123");
    l.OnCommand(d, kIdOk, 0);
  });
  EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{6, 123}));
  EXPECT_TRUE(LastDialog().ended);
  EXPECT_EQ(LastDialog().endResult, kIdOk);
}

TEST_F(SoloConnectionTest, EscapeDoesNotSave) {
  Start(0, 5);
  Run([](FakeDialog& d, DialogLogic& l) {
    Type(d, l, "9");
    l.OnCommand(d, kIdCancel, 0);
  });
  EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{0, 5}));
  EXPECT_TRUE(LastDialog().ended);
}

TEST_F(SoloConnectionTest, UnwritableFileShowsMessage103) {
  Start(0, 5);
  prog.SetConfigPath((dir / "missing" / "KVL.dfg").string());
  Run([](FakeDialog& d, DialogLogic& l) { l.OnCommand(d, kIdOk, 0); });
  EXPECT_TRUE(Shown("Не могу открыть файл KVL.dfg в текущей директории.Ошибка103"));
  EXPECT_TRUE(LastDialog().ended);
}

}  // namespace
}  // namespace kvl::test
