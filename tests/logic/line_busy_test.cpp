// Every command of the three programs, in both protocols, on a line whose
// writes or reads fail. While any message box of a command is up, its modal
// loop lets a poll tick, a menu command, a click in another window and the
// close box through; none of them may write to the line or end the program
// under the box. The command must report its failure, every box must have a
// window to belong to, and nothing may be done with a destroyed window.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "logic/line_rigs.h"
#include "setup/network_dialog.h"
#include "setup/regulator_dialog.h"
#include "solo/connection_dialog.h"
#include "solo/solo_messages.h"
#include "solo/zero_offset_dialog.h"

namespace kvl::test {
namespace {

enum class Prog { kNet9, kNet5, kSolo };

struct Command {
  const char* name;
  std::vector<Prog> programs;
  // Runs the command; spoil() breaks the line just before its exchanges.
  std::function<void(ProgramRig&, const std::function<void()>& spoil)> run;
  // True when the program has told the operator that the command failed.
  std::function<bool(ProgramRig&)> failed;
};

bool Shown(ProgramRig& r, const std::string& text) {
  for (const auto& m : r.Ui().messages)
    if (m.text == text) return true;
  return false;
}
auto Box(const char* text) {
  return [text](ProgramRig& r) { return Shown(r, text); };
}
NetProgramRig& Net(ProgramRig& r) {
  return static_cast<NetProgramRig&>(r);
}
SoloProgramRig& Solo(ProgramRig& r) {
  return static_cast<SoloProgramRig&>(r);
}
FakeDialog& Last(ProgramRig& r) {
  return *r.Ui().dialogs.back();
}
// A menu command, spoiling the line first.
auto Menu(int id) {
  return [id](ProgramRig& r, const std::function<void()>& spoil) {
    spoil();
    r.Main().OnCommand(id, 0);
  };
}
// A modal dialog opened from the menu, operated by op once it is open.
auto InDialog(int menu, std::function<void(FakeDialog&, DialogLogic&)> op) {
  return [menu, op](ProgramRig& r, const std::function<void()>& spoil) {
    r.Ui().onModal = [&](FakeDialog& d, DialogLogic& l) {
      spoil();
      op(d, l);
    };
    r.Main().OnCommand(menu, 0);
    r.Ui().onModal = nullptr;
  };
}
auto Press(int id, int code = 0) {
  return [id, code](FakeDialog& d, DialogLogic& l) { l.OnCommand(d, id, code); };
}
auto Pick(int list, int index) {
  return [list, index](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(list, index);
    l.OnCommand(d, list, 1);
  };
}
auto Radio(int id) {
  return [id](FakeDialog& d, DialogLogic& l) {
    d.SetCheck(id, true);
    l.OnCommand(d, id, 0);
  };
}

const std::vector<Prog> kNets = {Prog::kNet9, Prog::kNet5};
const std::vector<Prog> kSoloOnly = {Prog::kSolo};
const std::vector<Prog> kAll = {Prog::kNet9, Prog::kNet5, Prog::kSolo};

const std::vector<Command>& Commands() {
  static const std::vector<Command> c = {
      {"poll tick", kAll,
       [](ProgramRig& r, const std::function<void()>& spoil) {
         spoil();
         r.Main().OnTimer(1);
       },
       [](ProgramRig& r) {
         if (auto* s = dynamic_cast<SoloProgramRig*>(&r))
           return s->prog.State().log.Lines().back() == "Ошибка связи N:100";
         NetProgramRig& n = Net(r);
         const MonitorRow row = MonitorRowOf(n.rig.variant, 0);
         const int cell = n.rig.variant.deviationColumn ? row.deviation : row.output;
         return n.monitor->texts[cell] == SilentText(n.rig.variant);
       }},
      // Network programs: the menu.
      {"valve open", kNets, Menu(40017), Box("Нет связи")},
      {"valve closed", kNets, Menu(40018), Box("Нет связи")},
      {"valve regulating", kNets, Menu(40076), Box("Нет связи")},
      {"zero", kNets, Menu(40035), Box("Нет связи")},
      {"analogue input", kNets, Menu(40037), Box("Нет связи")},
      {"КВЛ", kNets, Menu(40080), Box("Нет связи")},
      {"ВПЗ", kNets, Menu(40081), Box("Нет связи")},
      {"regnet5 regulation", {Prog::kNet5}, Menu(40019), Box("Нет связи")},
      {"regnet5 measurement", {Prog::kNet5}, Menu(262), Box("Нет связи")},
      // Network programs: the setpoint dialog.
      {"setpoint preset", kNets,
       [](ProgramRig& r, const std::function<void()>& spoil) {
         FakeDialog& d = Net(r).Setpoint();
         spoil();
         Pick(IDX_SETPOINT_PRESETS, 5)(d, *d.logic);
       },
       Box("Нет связи")},
      {"setpoint typed", kNets,
       [](ProgramRig& r, const std::function<void()>& spoil) {
         FakeDialog& d = Net(r).Setpoint();
         d.SetText(IDX_SETPOINT_EDIT, "42");
         spoil();
         Press(IDX_SETPOINT_SEND)(d, *d.logic);
       },
       Box("Нет связи")},
      // Network programs: the network formation dialog.
      {"network dialog opening", kNets, Menu(40082),
       [](ProgramRig& r) {
         return Last(r).texts[ChannelLineId(Net(r).rig.variant, 0)] == Soob(0);
       }},
      {"register a channel", kNets,
       InDialog(40082,
                [](FakeDialog& d, DialogLogic& l) {
                  d.SetText(IDX_NET_ADDRESS, "5");
                  l.OnCommand(d, IDX_NET_REGISTER, 0);
                }),
       [](ProgramRig& r) { return Last(r).texts[IDX_NET_RESULT] == "Не установлена"; }},
      {"check every channel", kNets, InDialog(40082, Press(IDX_NET_CHECK)),
       [](ProgramRig& r) {
         return Last(r).texts[ChannelLineId(Net(r).rig.variant, 0)] == Soob(0) + "5";
       }},
      // Network programs: the regulator setup dialog.
      {"setup dialog opening", kNets, Menu(40048), Box("Уточните номер канала")},
      {"link", kNets, InDialog(40048, Press(IDX_SETUP_LINK)),
       [](ProgramRig& r) { return Last(r).texts[IDX_SETUP_LINK_STATE] == "Не установлена"; }},
      {"address query", kNets, InDialog(40048, Press(IDX_SETUP_QUERY)), Box("No answer?com?")},
      {"speed", kNets, InDialog(40048, Pick(IDX_SETUP_SPEED_LIST, 2)),
       Box("No сhange speed in KVL")},
      {"address change", kNets, InDialog(40048, Press(IDX_SETUP_CHANGE)), Box("записi net")},
      {"memorising", kNets, InDialog(40048, Radio(IDX_SETUP_MEM_ON)), Box("No сhange rasre")},
      // regsolo.
      {"КВЛ", kSoloOnly, Menu(IDC_KIND_FLOW), Box(solo::msg::kNoLink100)},
      {"valve regulating", kSoloOnly, Menu(IDC_VALVE_REGULATE), Box(solo::msg::kNoLink100)},
      {"valve open", kSoloOnly, Menu(IDC_VALVE_OPEN), Box(solo::msg::kNoLink100)},
      {"valve closed", kSoloOnly, Menu(IDC_VALVE_CLOSE), Box(solo::msg::kNoLink100)},
      {"analogue input", kSoloOnly, Menu(IDC_INPUT_ANALOG), Box(solo::msg::kNoLink100)},
      {"zero dialog opening", kSoloOnly, Menu(IDC_ZERO), Box(solo::msg::kRetry)},
      {"zero offset written", kSoloOnly,
       [](ProgramRig& r, const std::function<void()>& spoil) {
         InDialog(IDC_ZERO, Press(IDX_SOLO_ZERO_BUTTON))(r, spoil);
       },
       Box(solo::msg::kRetry)},
      {"setpoint preset", kSoloOnly,
       [](ProgramRig& r, const std::function<void()>& spoil) {
         spoil();
         r.ClickElsewhere();
       },
       Box(solo::msg::kNoLink100)},
      {"setpoint typed", kSoloOnly,
       [](ProgramRig& r, const std::function<void()>& spoil) {
         FakeDialog& d = *Solo(r).setpoint;
         d.SetText(IDX_SETPOINT_EDIT, "42");
         spoil();
         Press(IDX_SETPOINT_SEND)(d, *d.logic);
       },
       Box(solo::msg::kNoLink100)},
      {"connection dialog opening", kSoloOnly, Menu(IDC_SETUP), Box("Уточните номер канала")},
      {"connect", kSoloOnly, InDialog(IDC_SETUP, Press(IDX_SETUP_LINK)), Box("Ошибка100")},
      {"speed", kSoloOnly, InDialog(IDC_SETUP, Pick(IDX_SETUP_SPEED_LIST, 2)),
       Box("No сhange speed in KVL.Ошибка100")},
      {"memorising", kSoloOnly, InDialog(IDC_SETUP, Radio(IDX_SETUP_MEM_OFF)), Box(".Ошибка100")},
  };
  return c;
}

struct Case {
  Prog program;
  bool modbus;
  Fault fault;
  const Command* command;
};

std::vector<Case> Cases() {
  std::vector<Case> out;
  for (const Command& c : Commands())
    for (Prog p : c.programs)
      for (bool modbus : {false, true}) {
        if (modbus && p == Prog::kSolo) continue;  // regsolo speaks the maker's protocol only
        for (Fault f : {Fault::kWrite, Fault::kRead}) out.push_back({p, modbus, f, &c});
      }
  return out;
}

std::string CaseName(const testing::TestParamInfo<Case>& i) {
  const Case& c = i.param;
  std::string n = c.program == Prog::kSolo   ? "regsolo"
                  : c.program == Prog::kNet9 ? "regnet9"
                                             : "regnet5";
  n += c.modbus ? "_Modbus_" : "_Kormast_";
  n += c.fault == Fault::kWrite ? "WriteError_" : "ReadError_";
  n += std::to_string(i.index);
  return n;
}

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.command->name;
}

class LineBusy : public testing::TestWithParam<Case> {};

TEST_P(LineBusy, NothingElseRunsUnderACommandsBoxesAndTheFailureIsTold) {
  const Case& c = GetParam();
  std::unique_ptr<ProgramRig> rig;
  if (c.program == Prog::kSolo)
    rig = std::make_unique<SoloProgramRig>();
  else
    rig = std::make_unique<NetProgramRig>(c.program == Prog::kNet9 ? kNet9 : kNet5, c.modbus);
  ProgramRig& r = *rig;
  r.Ui().messages.clear();

  int boxesUnderCommand = 0;
  r.Ui().whileBoxUp = [&](const ShownMessage& m) {
    if (!r.Line().Busy()) return;  // not a command's box (a question before it)
    ++boxesUnderCommand;
    const size_t before = r.Link().written.size();
    r.WhileBoxUp();
    EXPECT_EQ(r.Link().written.size(), before) << "written while \"" << m.text << "\" was up";
  };
  c.command->run(r, [&] { r.Spoil(c.fault); });

  EXPECT_GT(boxesUnderCommand, 0) << "the failed exchanges are told in boxes";
  EXPECT_TRUE(c.command->failed(r)) << c.command->name << " did not report its failure";
  EXPECT_FALSE(r.closedUnderBox) << "the program ended under a box";
  EXPECT_EQ(r.Ui().UsesAfterDestroy(), 0) << "a destroyed window was used";
  EXPECT_EQ(r.Ui().boxesWithoutOwner, 0) << "a box belonged to no window";
  EXPECT_FALSE(r.Line().Busy());
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, LineBusy, testing::ValuesIn(Cases()), CaseName);

}  // namespace
}  // namespace kvl::test
