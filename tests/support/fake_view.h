// Fake view for logic tests: dialogs keep their controls' state in maps, the
// services record every call and answer message boxes from a script.
//
// It behaves like Win32 where the programs depend on it: setting an edit's
// text sends the edit's change notification (EN_CHANGE) to the dialog's logic;
// ending a modeless dialog destroys it (the logic hears OnDestroy, and every
// later use of the dialog is counted); a message box runs a hook while it is
// up, as its modal loop lets timer ticks, menu commands and clicks in other
// windows through.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "resources/ids.h"
#include "view/view.h"

namespace kvl::test {

// The edit controls of the dialog templates (the others are statics, lists,
// buttons): the value field 1000 of every dialog that has one, and regulator
// setup's new-address field.
inline bool IsEdit(int templateId, int id) {
  switch (templateId) {
    case IDD_SETPOINT:
      return id == IDX_SETPOINT_EDIT;
    case IDD_SOLO_ZERO:
      return id == IDX_SOLO_OFFSET;
    case IDD_NETWORK:
      return id == IDX_NET_ADDRESS;
    case IDD_SETUP:
      return id == IDX_SETUP_NET || id == IDX_SETUP_NEWNET;
    default:
      return false;
  }
}

class FakeDialog : public Dialog {
 public:
  explicit FakeDialog(int templateId = 0) : templateId(templateId) {}

  void SetText(int id, const std::string& text) override {
    Use();
    texts[id] = text;
    if (logic && !destroyed && IsEdit(templateId, id)) logic->OnCommand(*this, id, kEnChange);
  }
  std::string GetText(int id, size_t maxChars) const override {
    Use();
    auto it = texts.find(id);
    if (it == texts.end()) return "";
    return Utf8Prefix(it->second, maxChars);
  }
  void SetCheck(int id, bool on) override {
    Use();
    checks[id] = on;
  }
  bool GetCheck(int id) const override {
    Use();
    auto it = checks.find(id);
    return it != checks.end() && it->second;
  }
  void ListReset(int id) override {
    Use();
    lists[id].clear();
    selection[id] = -1;
  }
  void ListAdd(int id, const std::string& text) override {
    Use();
    lists[id].push_back(text);
  }
  void ListDelete(int id, int index) override {
    Use();
    auto& l = lists[id];
    if (index >= 0 && index < static_cast<int>(l.size())) l.erase(l.begin() + index);
  }
  void ListSelect(int id, int index) override {
    Use();
    selection[id] = index;
  }
  int ListSelection(int id) const override {
    Use();
    auto it = selection.find(id);
    return it == selection.end() ? -1 : it->second;
  }
  void Show(int id, bool visible) override {
    Use();
    visible_[id] = visible;
  }
  bool Visible(int id) const {
    auto it = visible_.find(id);
    return it == visible_.end() || it->second;
  }
  // A modal dialog ends when its handler returns; a modeless one is destroyed.
  void End(int result) override {
    Use();
    ended = true;
    endResult = result;
    if (modeless) Destroy();
  }
  // The window goes away (its own End, or its owner's destruction).
  void Destroy() {
    if (destroyed) return;
    destroyed = true;
    if (logic) logic->OnDestroy(*this);
  }

  // First maxChars UTF-8 characters of s.
  static std::string Utf8Prefix(const std::string& s, size_t maxChars) {
    size_t chars = 0, i = 0;
    while (i < s.size() && chars < maxChars) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
      i += len;
      ++chars;
    }
    return s.substr(0, i);
  }

  int templateId;
  DialogLogic* logic = nullptr;  // the logic the window calls (null: none bound)
  bool modeless = false;
  bool destroyed = false;
  mutable int usedAfterDestroy = 0;  // calls on the dialog after it was destroyed
  std::map<int, std::string> texts;
  std::map<int, bool> checks;
  std::map<int, std::vector<std::string>> lists;
  std::map<int, int> selection;
  std::map<int, bool> visible_;
  bool ended = false;
  int endResult = 0;

 private:
  void Use() const {
    if (destroyed) ++usedAfterDestroy;
  }
};

struct ShownMessage {
  std::string text;
  std::string caption;
  MsgButtons buttons;
  MsgIcon icon;
  Owner owner;
  Dialog* ownerDialog = nullptr;
};

// Whether a shown box has this text and caption (and owner, when given); on a
// mismatch it says what the box had.
inline ::testing::AssertionResult IsBox(const ShownMessage& m, const std::string& text,
                                        const std::string& caption) {
  if (m.text == text && m.caption == caption) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "box \"" << m.text << "\" / \"" << m.caption
                                       << "\", expected \"" << text << "\" / \"" << caption << "\"";
}
inline ::testing::AssertionResult IsBox(const ShownMessage& m, const std::string& text,
                                        const std::string& caption, Owner owner) {
  auto r = IsBox(m, text, caption);
  if (!r) return r;
  if (m.owner == owner) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "box \"" << m.text << "\" owned by the "
         << (m.owner == Owner::kMain ? "main window" : "dialog") << ", expected the "
         << (owner == Owner::kMain ? "main window" : "dialog");
}

class FakeServices : public Services {
 public:
  FakeServices() : main(0) {}

  int MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                 MsgIcon icon, Owner owner, Dialog* ownerDialog) override {
    messages.push_back({text, caption, buttons, icon, owner, ownerDialog});
    if (owner == Owner::kDialog) {
      auto* d = dynamic_cast<FakeDialog*>(ownerDialog);
      if (!d || d->destroyed) ++boxesWithoutOwner;
    }
    if (whileBoxUp && !inBoxHook_) {  // the box's modal loop lets messages through
      inBoxHook_ = true;
      const ShownMessage shown = messages.back();  // the hook may show more boxes
      whileBoxUp(shown);
      inBoxHook_ = false;
    }
    if (!answers.empty()) {
      int a = answers.front();
      answers.pop_front();
      return a;
    }
    return buttons == MsgButtons::kYesNo ? kIdYes : kIdOk;
  }
  void MenuEnable(int id, bool enabled) override { menuEnabled[id] = enabled; }
  bool MenuInsert(int position, int id, const std::string& text) override {
    if (failMenuInsert) return false;
    menuInserted.push_back({position, id, text});
    ++menuBarItems;
    return true;
  }
  bool MenuRemove(int position) override {
    if (failMenuRemove) return false;
    menuRemoved.push_back(position);
    --menuBarItems;
    return true;
  }
  bool StartTimer(int id, unsigned ms) override {
    timers[id] = ms;
    ++timerStarts;
    return true;
  }
  void StopTimer(int id) override { timers.erase(id); }
  void BeginWaitCursor() override { ++waitCursor; }
  void EndWaitCursor() override { --waitCursor; }
  void Pause(unsigned ms) override { pauses.push_back(ms); }
  void Invalidate(bool erase) override { invalidations.push_back(erase); }
  int RunModal(int templateId, DialogLogic& logic) override {
    auto d = std::make_unique<FakeDialog>(templateId);
    FakeDialog* p = d.get();
    p->logic = &logic;
    dialogs.push_back(std::move(d));
    logic.OnInit(*p);
    if (onModal && !p->ended) onModal(*p, logic);
    p->Destroy();
    return p->endResult;
  }
  Dialog* CreateModeless(int templateId, DialogLogic& logic) override {
    auto d = std::make_unique<FakeDialog>(templateId);
    FakeDialog* p = d.get();
    p->logic = &logic;
    p->modeless = true;
    dialogs.push_back(std::move(d));
    logic.OnInit(*p);
    return p->destroyed ? nullptr : p;
  }
  // The main window is destroyed (the program closes): its modeless dialogs go first.
  void DestroyAll() {
    for (auto& d : dialogs) d->Destroy();
  }
  // Calls on destroyed dialogs, over every dialog made so far.
  int UsesAfterDestroy() const {
    int n = 0;
    for (const auto& d : dialogs) n += d->usedAfterDestroy;
    return n;
  }
  Dialog& MainWindow() override { return main; }
  void PostClose() override { ++closePosts; }
  void PostQuit() override { ++quitPosts; }
  std::string CTimeText() override { return ctime; }

  bool Enabled(int id) const {
    auto it = menuEnabled.find(id);
    return it == menuEnabled.end() || it->second;  // resource items start enabled
  }
  bool TimerRunning(int id) const { return timers.count(id) != 0; }
  // Texts of the messages shown so far.
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& m : messages) t.push_back(m.text);
    return t;
  }

  struct Inserted {
    int position, id;
    std::string text;
  };

  FakeDialog main;
  std::deque<int> answers;  // scripted message box answers, in order
  std::vector<ShownMessage> messages;
  std::map<int, bool> menuEnabled;
  std::vector<Inserted> menuInserted;
  std::vector<int> menuRemoved;
  int menuBarItems = 0;
  bool failMenuInsert = false, failMenuRemove = false;
  std::map<int, unsigned> timers;
  int timerStarts = 0;
  int waitCursor = 0;
  std::vector<unsigned> pauses;
  std::vector<bool> invalidations;
  std::vector<std::unique_ptr<FakeDialog>> dialogs;
  // Called inside RunModal after OnInit: the test operates the modal dialog.
  std::function<void(FakeDialog&, DialogLogic&)> onModal;
  // Called while a message box is up (not for boxes shown from inside it).
  std::function<void(const ShownMessage&)> whileBoxUp;
  // Boxes meant for a dialog that does not exist (any more).
  int boxesWithoutOwner = 0;
  int closePosts = 0, quitPosts = 0;
  std::string ctime = "Mon Dec  7 10:20:30 2026\n";

 private:
  bool inBoxHook_ = false;
};

}  // namespace kvl::test
