#pragma once

#include <windows.h>
// windows.h names this after MessageBoxA/W; DialogBase's is meant.
#undef MessageBox

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dialogs/DialogBase.h"
#include "dialogs/DialogTemplate.h"

namespace rdrconf {

// The Win32 back-end of a dialog: a real dialog made by the dialog manager
// from a DLGTEMPLATEEX that is built in memory from the DialogTemplate (in
// dialog units, with the template's font), so no resource compiler is
// needed. It is created hidden with the DialogBase, so that its controls
// exist from the start, and runs modally in a message loop of its own:
// the owner is disabled meanwhile, the dialog manager moves the focus with
// Tab, and Enter and Esc are taken before it, so that they mean what they
// mean on every back-end (see DialogBase). It hands the window's events to
// the DialogBase: WM_COMMAND (BN_CLICKED of a push button, CBN_SELCHANGE
// of a drop-down list), WM_CLOSE, WM_SYSCOMMAND of the items appended to
// the real system menu, WM_TIMER.
//
// Texts are UTF-8 up to here and UTF-16 only at the Win32 calls (see
// ToWindowText).
class DialogWindow final {
 public:
  DialogWindow(DialogBase& dialog, const DialogTemplate& dialogTemplate, DialogWindow* owner);
  ~DialogWindow();
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  HWND Handle() const { return window_; }
  // The control with `id`, or nullptr.
  HWND Control(int id) const;
  // The kind of control `id` was made as; false when there is none.
  bool KindOf(int id, ControlKind& kind) const;
  // The control with `id`, which must be of `kind`: std::logic_error
  // otherwise, naming `what`.
  HWND Need(int id, ControlKind kind, const char* what) const;
  HWND NeedButtonOrLabel(int id) const;

  // Whether the modal run is going on.
  bool IsRunning() const { return running_; }
  int RunModal();
  // Ends the modal run with `result` (also before it started: it then
  // returns at once).
  void End(int result);
  void SetEndWhenShown() { endWhenShown_ = true; }

  int StartTimer(int milliseconds, std::function<void()> elapsed);
  void StopTimer(int id);

  void AppendSystemMenuSeparator();
  void AppendSystemMenuItem(int id, const std::wstring& text);

  // Gives `control` the name screen readers call it by, through the
  // accessibility API's annotations (Windows takes a list's name from the
  // static text before it, so only a list without one needs this). Best
  // effort: where the system has no annotations (wine), a screen reader
  // reads the list by its value, as it always did.
  void SetAccessibleName(HWND control, const std::wstring& name);

  // Enter, as every back-end has it: the focused push button, else the
  // default push button (nothing when it is disabled), else OnOK.
  void PressEnter();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // Enter and Esc for this dialog, before the dialog manager sees them;
  // true when the message was used.
  bool TakeKey(const MSG& message);
  void Clicked(int id);

  DialogBase& dialog_;
  DialogWindow* owner_;
  HWND window_ = nullptr;
  std::map<int, ControlKind> kinds_;
  bool running_ = false;
  bool ended_ = false;
  int result_ = kIdCancel;
  bool endWhenShown_ = false;
  std::map<UINT_PTR, std::function<void()>> timers_;
  UINT_PTR nextTimer_ = 1;
  std::set<HWND> named_;  // controls with an annotated name, cleared with the window
};

// A UTF-8 text as a window shows it, in UTF-16. Valid UTF-8 is taken as
// UTF-8; anything else is read as GB18030 (code page 54936), the encoding
// in which language files made on other desktops usually come (or as GBK,
// code page 936, where the system has no 54936). Bytes that fit neither
// become replacement characters.
std::wstring ToWindowText(const std::string& bytes);
// A window's UTF-16 text in UTF-8.
std::string FromWindowText(const std::wstring& text);
// A caption for a button or a group box: '&' marks a mnemonic there, so a
// text's own '&' is doubled and shows as the character it is.
std::wstring ButtonCaption(const std::string& bytes);

// The HICON (large and small) behind a handle of the Win32 back-end.
struct Win32Icon {
  HICON bigIcon = nullptr;    // ICON_BIG, 32 pixels at 96 DPI
  HICON smallIcon = nullptr;  // ICON_SMALL, the title bar's
};
const Win32Icon* ToWin32Icon(const IconHandle& icon);

}  // namespace rdrconf
