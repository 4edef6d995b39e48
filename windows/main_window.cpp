#include "windows/main_window.h"

#include <cstring>
#include <vector>

#include "resources/ids.h"
#include "windows/debug_query.h"
#include "windows/text_screen.h"
#include "windows/utf.h"
#include "windows/win32_services.h"

namespace kvl::win {

namespace {

constexpr wchar_t kClassName[] = L"TTYWndClass";
constexpr UINT kRaiseOwned = WM_APP + 1;

// Everything the window procedure works with, reached through GWLP_USERDATA.
struct Shell {
  const ProgramInfo* info;
  Win32Services ui;
  std::unique_ptr<MainLogic> logic;
  TextScreen screen;
  HWND list = nullptr;
  HBRUSH background = nullptr;  // grey page
  // What the last WM_PAINT drew: each text TextOutW accepted, in drawing order.
  // The test tools' paint query reads this record, so they see what reached the
  // screen rather than what the logic would have drawn.
  std::vector<std::wstring> drawn;
  explicit Shell(HINSTANCE inst) : ui(inst) {}
};

Shell* ShellOf(HWND hwnd) {
  return reinterpret_cast<Shell*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// The exchange log list box: hidden, placed from the client rectangle at creation.
HWND CreateLogList(HWND hwnd) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  return CreateWindowExW(0, L"LISTBOX", L"",
                         WS_CHILD | WS_BORDER | WS_HSCROLL | WS_THICKFRAME | WS_GROUP |
                             LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
                         rc.right - 330, rc.bottom - 250, rc.right, 250, hwnd,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDW_LOG_LIST)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE)),
                         nullptr);
}

void Paint(HWND hwnd, Shell* s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT rc;
  GetClientRect(hwnd, &rc);
  if (s && s->logic) {
    std::vector<PaintText> texts = s->logic->OnPaint(rc.left, rc.bottom);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    s->drawn.clear();
    for (const PaintText& t : texts) {
      SetBkColor(dc, t.background);
      std::wstring w = Widen(t.text);
      if (TextOutW(dc, t.x, t.y, w.c_str(), static_cast<int>(w.size())))
        s->drawn.push_back(std::move(w));
    }
    SelectObject(dc, old);
  }
  EndPaint(hwnd, &ps);
}

// The log list's lines into the asking tool's file mapping (debug_query.h);
// returns the number of lines + 1, 0 when they cannot be given.
LRESULT WriteLogLines(const Shell* s, DWORD pid) {
  if (!s || !s->list) return 0;
  const std::wstring name = kLogMappingPrefix + std::to_wstring(pid);
  HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name.c_str());
  if (!mapping) return 0;
  auto* out = static_cast<wchar_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kLogMappingBytes));
  LRESULT lines = 0;
  if (out) {
    const size_t room = kLogMappingBytes / sizeof(wchar_t);
    const LRESULT count = SendMessageW(s->list, LB_GETCOUNT, 0, 0);
    size_t used = 0;
    for (LRESULT i = 0; i < count; ++i) {
      const LRESULT len = SendMessageW(s->list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
      if (len < 0 || used + static_cast<size_t>(len) + 1 > room) break;
      SendMessageW(s->list, LB_GETTEXT, static_cast<WPARAM>(i),
                   reinterpret_cast<LPARAM>(out + used));
      used += static_cast<size_t>(len) + 1;
      out[used - 1] = 0;
      ++lines;
    }
    if (lines != count) lines = -1;
    UnmapViewOfFile(out);
  }
  CloseHandle(mapping);
  return out ? lines + 1 : 0;
}

LRESULT AnswerQuery(HWND hwnd, const COPYDATASTRUCT* cds) {
  if (!cds || cds->dwData != kDebugQueryMagic || cds->cbData != sizeof(DebugQuery)) return 0;
  DebugQuery q;
  memcpy(&q, cds->lpData, sizeof q);
  HMENU m = GetMenu(hwnd);
  switch (q.op) {
    case kQueryMenuState: {
      if (!m) return 3;
      UINT st = GetMenuState(m, static_cast<UINT>(q.arg), MF_BYCOMMAND);
      if (st == static_cast<UINT>(-1)) return 3;
      return (st & (MF_GRAYED | MF_DISABLED)) ? 2 : 1;
    }
    case kQueryBarCount:
      return m ? GetMenuItemCount(m) + 1 : 0;
    case kQueryBarItemId: {
      if (!m || q.arg < 0 || q.arg >= GetMenuItemCount(m)) return 0;
      if (GetSubMenu(m, q.arg)) return 1;
      return static_cast<LRESULT>(GetMenuItemID(m, q.arg)) + 2;
    }
    case kQueryScrollMax:
    case kQueryScrollPos: {
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_RANGE | SIF_POS;
      if (!GetScrollInfo(hwnd, q.arg ? SB_VERT : SB_HORZ, &si)) return 1;  // no bar: 0
      return (q.op == kQueryScrollMax ? si.nMax : si.nPos) + 1;
    }
    case kQueryPaintCount:
    case kQueryPaintChar: {
      const Shell* s = ShellOf(hwnd);
      if (!s) return 0;
      if (q.op == kQueryPaintCount) return static_cast<LRESULT>(s->drawn.size()) + 1;
      const size_t index = static_cast<size_t>(q.arg) >> 16, pos = q.arg & 0xFFFF;
      if (q.arg < 0 || index >= s->drawn.size()) return 0;
      const std::wstring& w = s->drawn[index];
      return pos < w.size() ? static_cast<LRESULT>(w[pos]) + 2 : 1;
    }
    case kQueryLogLines:
      return WriteLogLines(ShellOf(hwnd), static_cast<DWORD>(q.arg));
    default:
      return 0;
  }
}

LRESULT CALLBACK TTYWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Shell* s = ShellOf(hwnd);
  switch (msg) {
    case WM_CREATE: {
      s = static_cast<Shell*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
      s->ui.AttachMain(hwnd);
      s->list = CreateLogList(hwnd);
      if (!s->list) {
        s->ui.MessageBox(s->info->listFailText, "Error", MsgButtons::kOk, MsgIcon::kNone,
                         Owner::kMain, nullptr);
        PostQuitMessage(0);
      }
      if (!s->logic->OnCreate()) return -1;
      s->screen.Reset(hwnd);
      return 0;
    }
    case WM_COMMAND:
      if (s && s->logic) s->logic->OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_TIMER:
      if (s && s->logic) s->logic->OnTimer(static_cast<int>(wParam));
      return 0;
    case WM_PAINT:
      Paint(hwnd, s);
      return 0;
    case WM_SIZE:
      if (s) s->screen.Size(hwnd, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_HSCROLL:
      if (s) s->screen.Scroll(hwnd, SB_HORZ);
      return 0;
    case WM_VSCROLL:
      if (s) s->screen.Scroll(hwnd, SB_VERT);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return 0;
    case WM_ACTIVATE:
      // Owned dialogs stay above the main window; Wine's virtual desktop lets
      // the owner cover them when it is activated again after a message box.
      // The raise is posted: the activation puts the owner on top after this.
      if (s && LOWORD(wParam) != WA_INACTIVE && !s->ui.Modeless().Empty())
        PostMessageW(hwnd, kRaiseOwned, 0, 0);
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case kRaiseOwned:
      if (s) s->ui.Modeless().Raise();
      return 0;
    case WM_CLOSE:
      if (s && s->logic && !s->logic->OnClose()) return 0;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_COPYDATA:
      return AnswerQuery(hwnd, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

bool InitApplication(HINSTANCE inst, Shell& s) {
  s.background = CreateSolidBrush(RGB(180, 180, 180));
  WNDCLASSW wc{};
  wc.style = CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = TTYWndProc;
  wc.cbWndExtra = 4;
  wc.hInstance = inst;
  wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(s.info->iconId));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = s.background;
  wc.lpszMenuName = MAKEINTRESOURCEW(IDM_MAIN);
  wc.lpszClassName = kClassName;
  return RegisterClassW(&wc) != 0;
}

}  // namespace

std::string ResourceString(HINSTANCE inst, int id) {
  const wchar_t* text = nullptr;
  // With no buffer, LoadStringW gives the string in place and its length.
  const int n = LoadStringW(inst, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 && text ? Narrow(std::wstring(text, static_cast<size_t>(n))) : std::string();
}

int RunProgram(HINSTANCE inst, int nCmdShow, const ProgramInfo& info) {
  Shell s(inst);
  s.info = &info;
  if (!InitApplication(inst, s)) return 0;
  s.logic = info.makeLogic(s.ui);
  HACCEL accel = LoadAcceleratorsW(inst, MAKEINTRESOURCEW(IDA_MAIN));
  HWND hwnd = CreateWindowExW(0, kClassName, Widen(info.title).c_str(),
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                              info.width, info.height, nullptr, nullptr, inst, &s);
  if (!hwnd) return 0;
  ShowWindow(hwnd, nCmdShow);
  UpdateWindow(hwnd);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (accel && TranslateAcceleratorW(hwnd, accel, &msg)) continue;
    if (s.ui.Modeless().Route(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // A start-up that ended through the posted WM_DESTROY leaves the window up.
  if (IsWindow(hwnd)) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
  }
  s.logic.reset();
  return static_cast<int>(msg.wParam);
}

}  // namespace kvl::win
