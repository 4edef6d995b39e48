// kvlauto: drives the programs as an operator would, one command per run, from
// another process in the same Wine prefix. Results go to stdout in UTF-8.
//
// Exit status: 0 when the command was carried out or its answer is yes;
// 4 (kNo) when it is a clear no: what a person could not do (a greyed menu
// item; a hidden, disabled or covered control; a window a modal one disables),
// a window that is still there, or something "absent" found present; 1 for
// every other failure, above all a program that does not answer, which must
// never read as an empty text or an absent window. Both print the reason to
// stderr. (3 and 5 are what a crashing mingw program or Wine give; kNo keeps
// clear of them.)
//
//   find TITLE [CLASS] [TIMEOUT_MS]      top-level visible window -> handle
//   dialog CAPTION [TIMEOUT_MS]          visible dialog with this caption -> handle
//   msgbox [TIMEOUT_MS] [CAPTION]        visible message box (with this caption) ->
//                                        handle TAB caption TAB text
//   absent find|dialog|msgbox ARGS...    the same search turned round: 0 when no such
//                                        window showed during the TIMEOUT_MS (default 0,
//                                        one look), kNo (and the window) when one did
//   absent control HANDLE ID             0 when the window has no control ID, else kNo
//   gone HANDLE [TIMEOUT_MS]             waits until the window no longer exists
//                                        (kNo when it is still there)
//   text HANDLE ID                       control text (ID 0: the window's caption)
//   watch HANDLE ID UNTIL [TIMEOUT_MS]   every text a static control shows, one a line,
//                                        until it changes to UNTIL; read from the window
//                                        system (GetWindowText), so the texts a program
//                                        writes while it is busy are seen too
//   settext HANDLE ID TEXT               types TEXT into an edit field
//   click HANDLE ID                      presses a button or radio button
//   select HANDLE ID INDEX               selects in a combo or list box, with the
//                                        selection-change notification
//   lines HANDLE ID                      items of a list or combo box, one a line (the
//                                        main window's exchange log as one snapshot)
//   selection HANDLE ID                  selected index of a list or combo box
//   state HANDLE ID                      "visible|hidden enabled|disabled checked|unchecked"
//   menu HANDLE COMMAND                  chooses a menu command (kNo when greyed)
//   menustate HANDLE COMMAND             "enabled", "grayed" or "absent"
//   menubar HANDLE                       menu-bar items: command id or "popup", one a line
//   scroll HANDLE                        "hmax vmax hpos vpos" of the main window
//   painted HANDLE                       texts the main window's last WM_PAINT drew, one
//                                        a line (recorded by the program as it draws)
//   close HANDLE                         the close box (WM_CLOSE)
//   texts HANDLE                         every child control: id TAB class TAB text
//   captions HANDLE                      the same from the window system (GetWindowText):
//                                        no message is sent, so a program busy on the
//                                        line is read at once; right for statics, whose
//                                        text the window system keeps
//   rect HANDLE [ID]                     "x y width height" of the window (or of its
//                                        control ID) on the screen
//   client HANDLE                        "x y width height" of the client area on the screen
//   hscroll                              height of a horizontal scroll bar (system metric)
//   pixel HANDLE X Y                     "r g b" at a point of the window's client area
//   resize HANDLE WIDTH HEIGHT           gives the window a new outer size
//   drag X1 Y1 X2 Y2                     drags the mouse with the left button held,
//                                        between two points of the screen
//   mouseclick HANDLE ID                 clicks the middle of a control with the mouse
//   key [shift+]NAME                     presses a key: tab, enter, escape, f1, next, prior
//   focus HANDLE                         id of the control that has the keyboard focus
//                                        in the window's thread (0 for none)
//   windows                              every visible top-level window (for diagnosis)
//   answers HANDLE [TIMEOUT_MS]          milliseconds until the window's thread has handled
//                                        a message sent to it; fails after TIMEOUT_MS
//   resources HANDLE                     "handles N gdi N windows N" of the process that owns
//                                        the window: its kernel handles, GDI objects and
//                                        windows (see ProcessResources)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "resources/ids.h"
#include "windows/debug_query.h"
#include "windows/utf.h"

namespace {

using kvl::win::Narrow;

constexpr int kNo = 4;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "kvlauto: %s\n", why.c_str());
  std::exit(1);
}

// A clear "no" (see the exit statuses above).
[[noreturn]] void No(const std::string& why) {
  std::fprintf(stderr, "kvlauto: %s\n", why.c_str());
  std::fflush(stdout);
  std::exit(kNo);
}

void Out(const std::string& s) {
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fputc('\n', stdout);
}

std::string Hex(HWND h) {
  char b[32];
  std::snprintf(b, sizeof b, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)));
  return b;
}

// A program may keep its window busy for seconds in a run of exchanges (it
// talks to the line on its window's thread); one that does not answer a message
// within this time fails the command rather than reading as 0 or empty.
constexpr UINT kAnswerMs = 30000;

// A message to another process's window, which must answer.
LRESULT Send(HWND h, UINT msg, WPARAM w, LPARAM l) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, msg, w, l, SMTO_NORMAL, kAnswerMs, &result))
    Fail("window " + Hex(h) + " did not answer message " + std::to_string(msg) + " within " +
         std::to_string(kAnswerMs / 1000) + " s");
  return static_cast<LRESULT>(result);
}

void Post(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (!PostMessageW(h, msg, w, l)) Fail("could not post message " + std::to_string(msg));
}

// The text of a control, which must answer: WM_GETTEXT is marshalled between
// processes, GetWindowText is not for controls. An empty text is a real answer.
std::wstring WindowText(HWND h) {
  wchar_t buf[4096] = {};
  const LRESULT n = Send(h, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf));
  return std::wstring(buf, static_cast<size_t>(n));
}

// The caption of a window of another process as the window system keeps it:
// no message is sent, so a busy program cannot make a search miss its window.
std::wstring Caption(HWND h) {
  wchar_t buf[1024] = {};
  return std::wstring(buf, static_cast<size_t>(GetWindowTextW(h, buf, 1024)));
}

std::wstring ClassOf(HWND h) {
  wchar_t buf[64] = {};
  GetClassNameW(h, buf, 64);
  return buf;
}

HWND ParseHandle(const wchar_t* s) {
  HWND h = reinterpret_cast<HWND>(static_cast<uintptr_t>(wcstoull(s, nullptr, 0)));
  if (!IsWindow(h)) Fail("no such window " + Narrow(s));
  return h;
}

HWND Control(HWND parent, int id) {
  HWND c = GetDlgItem(parent, id);
  if (!c) Fail("no control " + std::to_string(id));
  return c;
}

// The first visible top-level window that passes the test, looked for until
// timeoutMs has passed (at least once); nullptr when there is none.
template <typename F>
HWND WaitFor(DWORD timeoutMs, F test) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND found = nullptr;
    struct Ctx {
      F* test;
      HWND* found;
    } ctx{&test, &found};
    const BOOL all = EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
          auto* c = reinterpret_cast<Ctx*>(p);
          if (IsWindowVisible(h) && (*c->test)(h)) {
            *c->found = h;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    if (found) return found;
    if (!all) Fail("could not list the windows");
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(50);
  }
}

// The text control of a message box (id 0xFFFF on Windows and on Wine), told
// from a dialog's unnumbered statics by the box's icon control (0x14 on
// Windows, 0x440 on Wine).
HWND MessageBoxText(HWND h) {
  if (ClassOf(h) != L"#32770") return nullptr;
  if (!GetDlgItem(h, 0x14) && !GetDlgItem(h, 0x440)) return nullptr;
  HWND t = GetDlgItem(h, 0xFFFF);
  return t && ClassOf(t) == L"Static" ? t : nullptr;
}

bool IsGroupBox(HWND w) {
  return ClassOf(w) == L"Button" && (GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// What covers the middle of control c, or nothing: another top-level window,
// or a sibling above it in the z-order (group boxes are frames the mouse
// passes through).
HWND CoverOf(HWND c, HWND top) {
  RECT r;
  GetWindowRect(c, &r);
  POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  HWND at = WindowFromPoint(p);
  if (GetAncestor(at, GA_ROOT) != top) return at;
  for (HWND w = GetWindow(c, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV)) {
    if (!IsWindowVisible(w) || IsGroupBox(w)) continue;
    RECT wr;
    GetWindowRect(w, &wr);
    if (PtInRect(&wr, p)) return w;
  }
  return nullptr;
}

// A person can click a control only when it and its window are visible and
// enabled and nothing else covers the control's middle. A window that has just
// come up may take a moment to reach the top, as it would for a person.
void CheckClickable(HWND c) {
  if (!IsWindowVisible(c)) No("control is hidden");
  if (!IsWindowEnabled(c)) No("control is disabled");
  HWND top = GetAncestor(c, GA_ROOT);
  if (!IsWindowEnabled(top)) No("window is disabled (a modal window is open)");
  HWND cover = CoverOf(c, top);
  for (int i = 0; cover && i < 40; ++i) {
    Sleep(50);
    cover = CoverOf(c, top);
  }
  if (cover)
    No("control is covered by " + Narrow(ClassOf(cover)) + " \"" + Narrow(Caption(cover)) + "\"");
}

LRESULT Query(HWND main, kvl::win::DebugOp op, int arg) {
  kvl::win::DebugQuery q{op, arg};
  COPYDATASTRUCT cds{kvl::win::kDebugQueryMagic, sizeof q, &q};
  const LRESULT r = Send(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
  // 0 is "unknown": not one of our main windows, or a question it cannot answer.
  if (r == 0) Fail("window " + Hex(main) + " cannot answer query " + std::to_string(op));
  return r;
}

// The main window's exchange log at one moment, from the program itself
// (kQueryLogLines): item by item from here, a log that grows with every poll
// would read as a mix of two states, and a program busy on the line answers
// each item late.
std::vector<std::string> LogLines(HWND main) {
  const std::wstring name = kvl::win::kLogMappingPrefix + std::to_wstring(GetCurrentProcessId());
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      kvl::win::kLogMappingBytes, name.c_str());
  if (!mapping) Fail("cannot make the file mapping " + Narrow(name));
  const LRESULT n = Query(main, kvl::win::kQueryLogLines, static_cast<int>(GetCurrentProcessId()));
  const auto* text = static_cast<const wchar_t*>(
      MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kvl::win::kLogMappingBytes));
  if (!text) Fail("cannot read the file mapping " + Narrow(name));
  std::vector<std::string> lines;
  for (LRESULT i = 0; i + 1 < n; ++i) {
    const std::wstring line = text;
    lines.push_back(Narrow(line));
    text += line.size() + 1;
  }
  return lines;
}

// What a process holds. GetProcessHandleCount and GetGuiResources answer on
// Windows; Wine 8 has them as stubs (0, or ERROR_CALL_NOT_IMPLEMENTED), so
// there the handles are counted in the system's handle list and the GDI objects
// in the process's GDI handle table (its PEB points at it; an entry in use has a
// nonzero type). Windows are counted by enumeration everywhere.
struct Resources {
  long handles = -1, gdi = -1, windows = 0;
};

long HandlesInSystemList(DWORD pid) {
  // SYSTEM_HANDLE_INFORMATION: a count, then 24-byte entries whose first field
  // is the owner's process id.
  struct Entry {
    ULONG pid;
    UCHAR type, flags;
    USHORT value;
    void* object;
    ULONG access;
  };
  std::vector<char> buf(1 << 20);
  ULONG got = 0;
  NTSTATUS st;
  while ((st = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), buf.data(),
                                        static_cast<ULONG>(buf.size()), &got)) ==
         static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
    if (buf.size() > (256u << 20)) Fail("the system's handle list does not fit");
    buf.resize(buf.size() * 2);
  }
  if (st != 0) Fail("cannot read the system's handle list");
  const ULONG count = *reinterpret_cast<ULONG*>(buf.data());
  const auto* e = reinterpret_cast<const Entry*>(buf.data() + sizeof(void*));
  long n = 0;
  for (ULONG i = 0; i < count; ++i) n += e[i].pid == pid;
  return n;
}

long GdiInHandleTable(HANDLE process) {
  struct Entry {  // GDI_HANDLE_ENTRY, 24 bytes; the type is byte 2 of `type`
    UINT64 object;
    UINT owner;
    UINT type;
    UINT64 user;
  };
  constexpr size_t kEntries = 0x10000;
  constexpr size_t kPebGdiTable = 0xF8;  // PEB.GdiSharedHandleTable, 64-bit
  PROCESS_BASIC_INFORMATION pbi{};
  ULONG len = 0;
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &pbi, sizeof pbi, &len) != 0)
    Fail("cannot find the process's PEB");
  UINT64 table = 0;
  SIZE_T got = 0;
  if (!ReadProcessMemory(process,
                         static_cast<char*>(static_cast<void*>(pbi.PebBaseAddress)) + kPebGdiTable,
                         &table, sizeof table, &got) ||
      !table)
    Fail("cannot find the process's GDI handle table");
  std::vector<Entry> e(kEntries);
  if (!ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<uintptr_t>(table)), e.data(),
                         e.size() * sizeof(Entry), &got))
    Fail("cannot read the process's GDI handle table");
  long n = 0;
  for (const Entry& x : e) n += (x.type & 0x00FF0000) != 0;
  return n;
}

struct WindowCount {
  DWORD pid;
  long n;
};

// Counts w when it belongs to the process; always goes on with the enumeration.
BOOL CALLBACK CountOwned(HWND w, LPARAM l) {
  auto* c = reinterpret_cast<WindowCount*>(l);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  if (owner == c->pid) ++c->n;
  return TRUE;
}

Resources ProcessResources(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!p) Fail("cannot open process " + std::to_string(pid));
  Resources r;
  DWORD n = 0;
  if (GetProcessHandleCount(p, &n) && n > 0) r.handles = static_cast<long>(n);
  if (const DWORD g = GetGuiResources(p, GR_GDIOBJECTS)) r.gdi = static_cast<long>(g);
  if (r.handles < 0) r.handles = HandlesInSystemList(pid);
  if (r.gdi < 0) r.gdi = GdiInHandleTable(p);
  CloseHandle(p);
  // Top-level windows of the process and all their descendants.
  WindowCount ctx{pid, 0};
  EnumWindows(
      [](HWND w, LPARAM l) -> BOOL {
        auto* c = reinterpret_cast<WindowCount*>(l);
        const long before = c->n;
        CountOwned(w, l);
        if (c->n != before) EnumChildWindows(w, CountOwned, l);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  r.windows = ctx.n;
  return r;
}

bool IsCombo(HWND c) {
  return ClassOf(c) == L"ComboBox";
}

void Mouse(DWORD flags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof in);
  Sleep(60);
}

void Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof in);
  Sleep(40);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) Fail("usage: kvlauto COMMAND ...");
  // "absent CMD ARGS...": the search CMD, its answer turned round.
  const bool absent = std::wstring(argv[1]) == L"absent";
  if (absent) {
    ++argv;
    --argc;
    if (argc < 2) Fail("usage: kvlauto absent find|dialog|msgbox|control ...");
  }
  std::wstring cmd = argv[1];
  auto arg = [&](int i) -> const wchar_t* {
    if (i >= argc) Fail("missing argument for " + Narrow(cmd));
    return argv[i];
  };
  auto num = [&](int i) { return static_cast<int>(wcstol(arg(i), nullptr, 0)); };
  // A search waits up to 10 s for its window; turned round, it looks once.
  auto timeout = [&](int i, DWORD def) {
    return i < argc ? static_cast<DWORD>(wcstoul(argv[i], nullptr, 0)) : absent ? 0 : def;
  };
  // The end of a search for WHAT that found h (or nothing); line: what to print.
  auto searched = [&](HWND h, const std::string& what, auto line) {
    if (absent) {
      if (!h) return;
      Out(line());
      No("there is " + what);
    }
    if (!h) Fail("no " + what);
    Out(line());
  };
  if (absent && cmd != L"find" && cmd != L"dialog" && cmd != L"msgbox" && cmd != L"control")
    Fail("absent works with find, dialog, msgbox and control, not " + Narrow(cmd));

  if (cmd == L"find") {
    std::wstring title = arg(2);
    std::wstring cls = argc > 3 ? argv[3] : L"*";
    HWND h = WaitFor(timeout(4, 10000), [&](HWND w) {
      return (cls == L"*" || ClassOf(w) == cls) && (title == L"*" || Caption(w) == title);
    });
    searched(h, "window \"" + Narrow(title) + "\"", [&] { return Hex(h); });
  } else if (cmd == L"dialog") {
    std::wstring caption = arg(2);
    HWND h = WaitFor(timeout(3, 10000), [&](HWND w) {
      return ClassOf(w) == L"#32770" && !MessageBoxText(w) && Caption(w) == caption;
    });
    searched(h, "dialog \"" + Narrow(caption) + "\"", [&] { return Hex(h); });
  } else if (cmd == L"msgbox") {
    std::wstring caption = argc > 3 ? argv[3] : L"";
    HWND h = WaitFor(timeout(2, 10000), [&](HWND w) {
      return MessageBoxText(w) != nullptr && (caption.empty() || Caption(w) == caption);
    });
    searched(h, "message box" + (caption.empty() ? "" : " \"" + Narrow(caption) + "\""), [&] {
      return Hex(h) + "\t" + Narrow(WindowText(h)) + "\t" + Narrow(WindowText(MessageBoxText(h)));
    });
  } else if (cmd == L"control") {
    HWND h = ParseHandle(arg(2));
    const int id = num(3);
    HWND c = GetDlgItem(h, id);
    searched(c, "control " + std::to_string(id), [&] { return Narrow(ClassOf(c)); });
  } else if (cmd == L"gone") {
    HWND h = reinterpret_cast<HWND>(static_cast<uintptr_t>(wcstoull(arg(2), nullptr, 0)));
    DWORD start = GetTickCount(), limit = timeout(3, 10000);
    while (IsWindow(h)) {
      if (GetTickCount() - start > limit) No("window still there");
      Sleep(50);
    }
  } else if (cmd == L"text") {
    HWND h = ParseHandle(arg(2));
    int id = num(3);
    Out(Narrow(WindowText(id == 0 ? h : Control(h, id))));
  } else if (cmd == L"watch") {
    HWND c = Control(ParseHandle(arg(2)), num(3));
    const std::wstring until = arg(4);
    DWORD start = GetTickCount(), limit = timeout(5, 60000);
    std::wstring last;
    bool first = true;
    for (;;) {
      wchar_t buf[1024] = {};
      std::wstring t(buf, static_cast<size_t>(GetWindowTextW(c, buf, 1024)));
      if (first || t != last) Out(Narrow(t));
      if (!first && t != last && t == until) break;
      first = false;
      last = t;
      if (GetTickCount() - start > limit) Fail("the text did not become \"" + Narrow(until) + "\"");
      Sleep(20);
    }
  } else if (cmd == L"settext") {
    HWND c = Control(ParseHandle(arg(2)), num(3));
    CheckClickable(c);
    Send(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg(4)));
  } else if (cmd == L"click") {
    HWND c = Control(ParseHandle(arg(2)), num(3));
    CheckClickable(c);
    Post(c, BM_CLICK, 0, 0);
  } else if (cmd == L"select") {
    HWND h = ParseHandle(arg(2));
    int id = num(3), index = num(4);
    HWND c = Control(h, id);
    CheckClickable(c);
    bool combo = IsCombo(c);
    LRESULT count = Send(c, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    if (index < 0 || index >= count) Fail("no item " + std::to_string(index));
    Send(c, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Post(GetParent(c), WM_COMMAND, MAKEWPARAM(id, combo ? CBN_SELCHANGE : LBN_SELCHANGE),
         reinterpret_cast<LPARAM>(c));
  } else if (cmd == L"lines") {
    HWND h = ParseHandle(arg(2));
    HWND c = Control(h, num(3));
    if (ClassOf(h) == L"TTYWndClass" && num(3) == IDW_LOG_LIST) {
      for (const std::string& line : LogLines(h)) Out(line);
      return 0;
    }
    bool combo = IsCombo(c);
    // Every item is a message of its own, and the program runs between them: a
    // list that changes meanwhile (the exchange log while polling) would read as
    // a mix of two states. Read until two reads in a row agree.
    auto read = [&] {
      std::vector<std::string> items;
      LRESULT count = Send(c, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
      if (count < 0) Fail("could not count the items");
      for (LRESULT i = 0; i < count; ++i) {
        wchar_t buf[1024] = {};
        LRESULT len = Send(c, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
        if (len < 0 || len >= 1024) Fail("item " + std::to_string(i) + " cannot be read");
        Send(c, combo ? CB_GETLBTEXT : LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
        items.push_back(Narrow(buf));
      }
      return items;
    };
    std::vector<std::string> items = read(), again = read();
    for (int tries = 0; items != again; ++tries) {
      if (tries == 50) Fail("the list keeps changing while it is read");
      items = std::move(again);
      again = read();
    }
    for (const std::string& item : items) Out(item);
  } else if (cmd == L"selection") {
    HWND c = Control(ParseHandle(arg(2)), num(3));
    Out(std::to_string(Send(c, IsCombo(c) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0)));
  } else if (cmd == L"state") {
    HWND c = Control(ParseHandle(arg(2)), num(3));
    std::string s = IsWindowVisible(c) ? "visible" : "hidden";
    s += IsWindowEnabled(c) ? " enabled" : " disabled";
    s += Send(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? " checked" : " unchecked";
    Out(s);
  } else if (cmd == L"menu") {
    HWND h = ParseHandle(arg(2));
    int id = num(3);
    LRESULT st = Query(h, kvl::win::kQueryMenuState, id);
    if (st == 3) Fail("no menu item " + std::to_string(id));
    if (st == 2) No("menu item " + std::to_string(id) + " is greyed");
    if (!IsWindowEnabled(h)) No("window is disabled (a modal window is open)");
    Post(h, WM_COMMAND, MAKEWPARAM(id, 0), 0);
  } else if (cmd == L"menustate") {
    LRESULT st = Query(ParseHandle(arg(2)), kvl::win::kQueryMenuState, num(3));
    Out(st == 1 ? "enabled" : st == 2 ? "grayed" : "absent");
  } else if (cmd == L"answers") {
    HWND h = ParseHandle(arg(2));
    const DWORD limit = timeout(3, 5000);
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, limit, &r))
      Fail("the window did not answer within " + std::to_string(limit) + " ms");
    QueryPerformanceCounter(&t1);
    Out(std::to_string((t1.QuadPart - t0.QuadPart) * 1000 / freq.QuadPart));
  } else if (cmd == L"resources") {
    const Resources r = ProcessResources(ParseHandle(arg(2)));
    Out("handles " + std::to_string(r.handles) + " gdi " + std::to_string(r.gdi) + " windows " +
        std::to_string(r.windows));
  } else if (cmd == L"menubar") {
    HWND h = ParseHandle(arg(2));
    LRESULT n = Query(h, kvl::win::kQueryBarCount, 0) - 1;
    for (int i = 0; i < n; ++i) {
      LRESULT r = Query(h, kvl::win::kQueryBarItemId, i);
      Out(r == 1 ? "popup" : std::to_string(r - 2));
    }
  } else if (cmd == L"scroll") {
    HWND h = ParseHandle(arg(2));
    Out(std::to_string(Query(h, kvl::win::kQueryScrollMax, 0) - 1) + " " +
        std::to_string(Query(h, kvl::win::kQueryScrollMax, 1) - 1) + " " +
        std::to_string(Query(h, kvl::win::kQueryScrollPos, 0) - 1) + " " +
        std::to_string(Query(h, kvl::win::kQueryScrollPos, 1) - 1));
  } else if (cmd == L"painted") {
    HWND h = ParseHandle(arg(2));
    const LRESULT n = Query(h, kvl::win::kQueryPaintCount, 0) - 1;
    for (LRESULT i = 0; i < n; ++i) {
      std::wstring w;
      for (int pos = 0; pos < 0xFFFF; ++pos) {
        const LRESULT c = Query(h, kvl::win::kQueryPaintChar, static_cast<int>(i << 16) + pos);
        if (c < 2) break;
        w.push_back(static_cast<wchar_t>(c - 2));
      }
      Out(Narrow(w));
    }
  } else if (cmd == L"close") {
    Post(ParseHandle(arg(2)), WM_CLOSE, 0, 0);
  } else if (cmd == L"texts") {
    HWND h = ParseHandle(arg(2));
    EnumChildWindows(
        h,
        [](HWND c, LPARAM) -> BOOL {
          Out(std::to_string(GetDlgCtrlID(c) & 0xFFFF) + "\t" + Narrow(ClassOf(c)) + "\t" +
              Narrow(WindowText(c)));
          return TRUE;
        },
        0);
  } else if (cmd == L"captions") {
    EnumChildWindows(
        ParseHandle(arg(2)),
        [](HWND c, LPARAM) -> BOOL {
          Out(std::to_string(GetDlgCtrlID(c) & 0xFFFF) + "\t" + Narrow(ClassOf(c)) + "\t" +
              Narrow(Caption(c)));
          return TRUE;
        },
        0);
  } else if (cmd == L"rect") {
    HWND h = ParseHandle(arg(2));
    if (argc > 3) h = Control(h, num(3));
    RECT r;
    GetWindowRect(h, &r);
    Out(std::to_string(r.left) + " " + std::to_string(r.top) + " " +
        std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top));
  } else if (cmd == L"client") {
    HWND h = ParseHandle(arg(2));
    RECT r;
    GetClientRect(h, &r);
    POINT p{0, 0};
    ClientToScreen(h, &p);
    Out(std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(r.right) + " " +
        std::to_string(r.bottom));
  } else if (cmd == L"hscroll") {
    Out(std::to_string(GetSystemMetrics(SM_CYHSCROLL)));
  } else if (cmd == L"pixel") {
    HWND h = ParseHandle(arg(2));
    HDC dc = GetDC(h);
    COLORREF c = GetPixel(dc, num(3), num(4));
    ReleaseDC(h, dc);
    if (c == CLR_INVALID) Fail("no pixel there");
    Out(std::to_string(GetRValue(c)) + " " + std::to_string(GetGValue(c)) + " " +
        std::to_string(GetBValue(c)));
  } else if (cmd == L"resize") {
    HWND h = ParseHandle(arg(2));
    if (!SetWindowPos(h, nullptr, 0, 0, num(3), num(4), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
      Fail("could not resize");
    Sleep(300);
  } else if (cmd == L"drag") {
    int x1 = num(2), y1 = num(3), x2 = num(4), y2 = num(5);
    SetCursorPos(x1, y1);
    Sleep(100);
    Mouse(MOUSEEVENTF_LEFTDOWN);
    for (int i = 1; i <= 10; ++i) {
      SetCursorPos(x1 + (x2 - x1) * i / 10, y1 + (y2 - y1) * i / 10);
      Mouse(MOUSEEVENTF_MOVE);
    }
    Mouse(MOUSEEVENTF_LEFTUP);
    Sleep(200);
  } else if (cmd == L"mouseclick") {
    HWND c = Control(ParseHandle(arg(2)), num(3));
    CheckClickable(c);
    RECT r;
    GetWindowRect(c, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Sleep(100);
    Mouse(MOUSEEVENTF_LEFTDOWN);
    Mouse(MOUSEEVENTF_LEFTUP);
    Sleep(200);
  } else if (cmd == L"key") {
    std::wstring k = arg(2);
    bool shift = k.rfind(L"shift+", 0) == 0;
    if (shift) k = k.substr(6);
    WORD vk = k == L"tab"      ? VK_TAB
              : k == L"enter"  ? VK_RETURN
              : k == L"escape" ? VK_ESCAPE
              : k == L"f1"     ? VK_F1
              : k == L"next"   ? VK_NEXT
              : k == L"prior"  ? VK_PRIOR
                               : 0;
    if (!vk) Fail("unknown key " + Narrow(k));
    if (shift) Key(VK_SHIFT, false);
    Key(vk, false);
    Key(vk, true);
    if (shift) Key(VK_SHIFT, true);
    Sleep(200);
  } else if (cmd == L"focus") {
    HWND h = ParseHandle(arg(2));
    GUITHREADINFO gi{};
    gi.cbSize = sizeof gi;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &gi)) Fail("no thread information");
    Out(std::to_string(gi.hwndFocus ? GetDlgCtrlID(gi.hwndFocus) & 0xFFFF : 0));
  } else if (cmd == L"windows") {
    EnumWindows(
        [](HWND h, LPARAM) -> BOOL {
          if (IsWindowVisible(h))
            Out(Hex(h) + "\t" + Narrow(ClassOf(h)) + "\t" + Narrow(Caption(h)) + "\towner " +
                Hex(GetWindow(h, GW_OWNER)));
          return TRUE;
        },
        0);
  } else {
    Fail("unknown command " + Narrow(cmd));
  }
  return 0;
}
