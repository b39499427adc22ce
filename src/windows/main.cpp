// mirelune.exe — the card window on Windows: the four buttons ("new", "save",
// "send greetings to friend", "exit"), the two name dialogs and the card, drawn
// by the engine's commands exactly as the command line draws them. One window on
// one thread; the card is made on it (a fraction of a second).
// The engine's headers before windows.h: its RGB macro would rewrite ours.
#include "base/platform.h"
#include "commands/commands.h"
#include "files/files.h"
#include "mirelune_version.h"

#include <windows.h>
#include <shellapi.h>

#include <cwctype>
#include <optional>
#include <string>

namespace {

using namespace mirelune;

enum : int { kNew = 1, kSave, kSend, kExit, kOpenFolder, kOk, kCancel };
constexpr int kBar = 40;  // the button row above the card

Session* session = nullptr;
HWND window = nullptr;
HFONT ui_font = nullptr;

std::filesystem::path SettingsFile() {
  return Utf8Path(EnvText("APPDATA")) / "Mirelune" / "settings.ini";
}

std::wstring Setting(const wchar_t* key) {
  wchar_t buf[512] = L"";
  GetPrivateProfileStringW(L"names", key, L"", buf, 512, SettingsFile().c_str());
  return buf;
}

void Remember(const wchar_t* key, const std::wstring& value) {
  std::error_code ec;
  std::filesystem::create_directories(SettingsFile().parent_path(), ec);
  WritePrivateProfileStringW(L"names", key, value.c_str(), SettingsFile().c_str());
}

// --- a one-line question, as the classic input box asks it ---
struct Asked {
  std::wstring text;
  bool done = false, ok = false;
  HWND edit = nullptr;
};

LRESULT CALLBACK AskProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  auto* a = reinterpret_cast<Asked*>(GetWindowLongPtrW(w, GWLP_USERDATA));
  if (msg == WM_COMMAND && a && (LOWORD(wp) == kOk || LOWORD(wp) == kCancel || LOWORD(wp) == IDOK ||
                                 LOWORD(wp) == IDCANCEL)) {
    a->ok = LOWORD(wp) == kOk || LOWORD(wp) == IDOK;
    const int n = GetWindowTextLengthW(a->edit);
    a->text.assign(static_cast<std::size_t>(n), L'\0');
    GetWindowTextW(a->edit, a->text.data(), n + 1);
    a->done = true;
    return 0;
  }
  if (msg == WM_CLOSE && a) {
    a->done = true;
    return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

// The text typed, or nothing on Cancel.
std::optional<std::wstring> Ask(const std::wstring& title, const std::wstring& prompt, const std::wstring& initial) {
  static bool registered = false;
  HINSTANCE inst = GetModuleHandleW(nullptr);
  if (!registered) {
    WNDCLASSW c{};
    c.lpfnWndProc = AskProc;
    c.hInstance = inst;
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    c.lpszClassName = L"MireluneAsk";
    RegisterClassW(&c);
    registered = true;
  }
  Asked a;
  RECT r{0, 0, 380, 130};
  AdjustWindowRect(&r, WS_CAPTION | WS_SYSMENU, FALSE);
  HWND d = CreateWindowExW(WS_EX_DLGMODALFRAME, L"MireluneAsk", title.c_str(), WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                           CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, window, nullptr, inst, nullptr);
  SetWindowLongPtrW(d, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&a));
  auto child = [&](const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int w, int h, int id) {
    HWND c = CreateWindowExW(cls == std::wstring(L"EDIT") ? WS_EX_CLIENTEDGE : 0, cls, text.c_str(),
                             WS_CHILD | WS_VISIBLE | style, x, y, w, h, d, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             inst, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(ui_font), TRUE);
    return c;
  };
  child(L"STATIC", prompt, 0, 12, 10, 356, 36, 0);
  a.edit = child(L"EDIT", initial, WS_TABSTOP | ES_AUTOHSCROLL, 12, 50, 356, 24, 0);
  child(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 196, 88, 80, 28, kOk);
  child(L"BUTTON", L"Cancel", WS_TABSTOP, 288, 88, 80, 28, kCancel);
  SetFocus(a.edit);
  SendMessageW(a.edit, EM_SETSEL, 0, -1);
  EnableWindow(window, FALSE);
  MSG m;
  while (!a.done && GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(d, &m)) continue;  // Enter, Escape and Tab as in a dialog
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  EnableWindow(window, TRUE);
  DestroyWindow(d);
  SetForegroundWindow(window);
  if (!a.ok) return std::nullopt;
  return a.text;
}

void Tell(const std::string& text, UINT icon = MB_ICONINFORMATION) {
  MessageBoxW(window, Wide(text).c_str(), L"Mirelune", MB_OK | icon);
}

// --- the commands ---
void New() {
  const auto friend_name = Ask(L"Mirelune", Wide(std::string(kFriendNamePrompt) + "\n" + kCasePrompt), Setting(L"friend"));
  if (!friend_name) return;
  const auto sender = Ask(L"Mirelune", Wide(std::string(kOwnNamePrompt) + "\n" + kCasePrompt), Setting(L"sender"));
  if (!sender) return;
  Remember(L"friend", *friend_name);
  Remember(L"sender", *sender);
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  const CardSpec spec = NewCardSpec(session->settings, Narrow(*friend_name), Narrow(*sender), ComingYear(std::time(nullptr)));
  CommandNew(*session, spec);
  InvalidateRect(window, nullptr, FALSE);
  // A face that could not be read (a damaged installation) is said, not hidden.
  std::string problems;
  for (const std::string& why : session->text.problems) problems += why + "\n";
  if (!problems.empty()) Tell(problems, MB_ICONWARNING);
}

std::optional<std::filesystem::path> Save() {
  if (const Result<> made = MakeFolder(OutputFolder()); !made) {
    Tell(made.message, MB_ICONERROR);
    return std::nullopt;
  }
  const Result<std::filesystem::path> saved = CommandSaveCard(*session, LocalTimeNow());
  if (!saved) {
    Tell(saved.error().message, MB_ICONERROR);
    return std::nullopt;
  }
  return *saved;
}

// Mail programs take no attachment from a mailto: link: the card is saved and
// its folder opened beside the new message, for the user to attach it.
void Send() {
  const std::optional<std::filesystem::path> card = Save();
  if (!card) return;
  const auto to = Ask(L"Mirelune", L"FRIEND'S E-MAIL ADDRESS", L"");
  if (!to) return;
  const auto message = Ask(L"Mirelune", L"MESSAGE TO FRIEND", L"");
  if (!message) return;
  std::wstring link = L"mailto:" + *to + L"?subject=greetings&body=";
  for (wchar_t c : *message) {
    if (std::iswalnum(c)) link += c;
    else {
      wchar_t hex[8];
      for (unsigned char b : Narrow(std::wstring(1, c))) {
        _snwprintf(hex, 8, L"%%%02X", b);
        link += hex;
      }
    }
  }
  ShellExecuteW(window, L"open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  ShellExecuteW(window, L"open", card->parent_path().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void OpenFolder() {
  std::error_code ec;
  std::filesystem::create_directories(OutputFolder(), ec);
  ShellExecuteW(window, L"open", OutputFolder().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Paint(HDC dc) {
  const Image& img = session->card.image();
  // The engine's pixels are 0x00BBGGRR; a 32-bit DIB wants 0x00RRGGBB.
  std::vector<std::uint32_t> bgr(img.pixels.begin(), img.pixels.end());
  for (std::uint32_t& p : bgr) p = ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = img.width;
  bi.bmiHeader.biHeight = -img.height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, kBar, static_cast<DWORD>(img.width), static_cast<DWORD>(img.height), 0, 0, 0,
                    static_cast<UINT>(img.height), bgr.data(), &bi, DIB_RGB_COLORS);
}

LRESULT CALLBACK WindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kNew: New(); return 0;
        case kSave:
          if (const auto saved = Save()) Tell("The card is saved as " + PathText(*saved) + ".");
          return 0;
        case kSend: Send(); return 0;
        case kOpenFolder: OpenFolder(); return 0;
        case kExit: DestroyWindow(w); return 0;  // at once, nothing asked, nothing saved
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(w, &ps);
      Paint(dc);
      EndPaint(w, &ps);
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int show) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  ui_font = CreateFontIndirectW(&metrics.lfMessageFont);
  Session s;
  session = &s;
  WNDCLASSW c{};
  c.lpfnWndProc = WindowProc;
  c.hInstance = inst;
  c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  c.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(1));
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  c.lpszClassName = L"Mirelune";
  RegisterClassW(&c);
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kNew, L"&New card...");
  AppendMenuW(file, MF_STRING, kSave, L"&Save");
  AppendMenuW(file, MF_STRING, kOpenFolder, L"&Open the cards' folder");
  AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(file, MF_STRING, kExit, L"E&xit");
  HMENU bar = CreateMenu();
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
  RECT r{0, 0, kCanvasPixelsW, kCanvasPixelsH + kBar};
  AdjustWindowRect(&r, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, TRUE);
  window = CreateWindowW(L"Mirelune", Wide("Mirelune " + std::string(kVersion)).c_str(),
                         WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                         r.right - r.left, r.bottom - r.top, nullptr, bar, inst, nullptr);
  const struct { const wchar_t* caption; int id, x, width; } buttons[] = {
      {L"new", kNew, 8, 90}, {L"save in Pictures", kSave, 106, 130},
      {L"send greetings to friend", kSend, 244, 180}, {L"exit", kExit, 432, 90}};
  for (const auto& b : buttons) {
    HWND h = CreateWindowW(L"BUTTON", b.caption, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, b.x, 6, b.width, 28, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)), inst, nullptr);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(ui_font), TRUE);
  }
  ShowWindow(window, show);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}
