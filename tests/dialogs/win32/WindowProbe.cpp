// The contract test's view of a window on Win32: its child windows.
#include "tests/dialogs/WindowProbe.h"

#include <stdexcept>

#include "dialogs/win32/DialogWindow.h"
#include "tests/support/Win32Window.h"

namespace rdrconf::test {
namespace {

HWND ControlOf(const DialogBase& dialog, int id) {
  HWND const control = dialog.Window().Control(id);
  if (control == nullptr) throw std::logic_error("no control " + std::to_string(id));
  return control;
}

// What a person reads of a text in which '&' marks a mnemonic.
std::wstring WithoutMnemonics(const std::wstring& text) {
  std::wstring read;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    read += text[i];
  }
  return read;
}

}  // namespace

std::string ShownText(const DialogBase& dialog, int id) {
  if (id == 0) return FromWindowText(TextOf(dialog.Window().Handle()));
  HWND const control = ControlOf(dialog, id);
  ControlKind kind{};
  dialog.Window().KindOf(id, kind);
  switch (kind) {
    case ControlKind::kLabel: return FromWindowText(TextOf(control));  // no prefix: '&' is read as it is
    case ControlKind::kDropDownList: {
      const LRESULT selected = SendMessageW(control, CB_GETCURSEL, 0, 0);
      return selected == CB_ERR ? std::string() : ListItemText(dialog, id, static_cast<int>(selected));
    }
    default: return FromWindowText(WithoutMnemonics(TextOf(control)));
  }
}

bool IsControlEnabled(const DialogBase& dialog, int id) { return IsWindowEnabled(ControlOf(dialog, id)) != 0; }

bool IsControlShown(const DialogBase& dialog, int id) {
  return (GetWindowLongW(ControlOf(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool IsWindowShown(const DialogBase& dialog) { return IsWindowVisible(dialog.Window().Handle()) != 0; }

std::string ListItemText(const DialogBase& dialog, int id, int position) {
  HWND const list = ControlOf(dialog, id);
  const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(position), 0);
  if (length == CB_ERR) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return FromWindowText(text);
}

void Focus(DialogBase& dialog, int id) { SetFocus(ControlOf(dialog, id)); }

void Press(DialogBase& dialog, Key key) {
  HWND const focus = GetFocus();
  HWND const target = focus != nullptr ? focus : dialog.Window().Handle();
  switch (key) {
    case Key::kEnter: PostMessageW(target, WM_KEYDOWN, VK_RETURN, 1); break;
    case Key::kKeypadEnter: PostMessageW(target, WM_KEYDOWN, VK_RETURN, 1 | (1 << 24)); break;  // extended key
    case Key::kEscape: PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 1); break;
  }
}

void Choose(DialogBase& dialog, int id, int position) {
  HWND const list = ControlOf(dialog, id);
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
  SendMessageW(dialog.Window().Handle(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void PressCloseBox(DialogBase& dialog) { SendMessageW(dialog.Window().Handle(), WM_CLOSE, 0, 0); }

void ChooseSystemMenuItem(DialogBase& dialog, int id) {
  SendMessageW(dialog.Window().Handle(), WM_SYSCOMMAND, static_cast<WPARAM>(id), 0);
}

}  // namespace rdrconf::test
