#include "dialogs/win32/DialogWindow.h"

#include <oleacc.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "dialogs/MessageBox.h"
#include "platform/Text.h"

namespace rdrconf {
namespace {

// Posted once the window is shown, for EndWhenShown.
constexpr UINT kEndWhenShownMessage = WM_APP + 1;

// The predefined window classes, as a dialog template names them.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboBoxClass = 0x0085;

// A DLGTEMPLATEEX and its items, written field by field: the structure has
// strings of any length in the middle, so it has no C type.
class TemplateWriter {
 public:
  void Word(WORD value) { Append(&value, sizeof value); }
  void Dword(DWORD value) { Append(&value, sizeof value); }
  void Short(short value) { Append(&value, sizeof value); }
  void Byte(BYTE value) { Append(&value, sizeof value); }
  void Text(const std::wstring& text) {
    Append(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  }
  // Every item starts on a DWORD boundary.
  void AlignToDword() {
    while (bytes_.size() % sizeof(DWORD) != 0) bytes_.push_back(0);
  }
  const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  void Append(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), bytes, bytes + size);
  }
  // DWORD-aligned, as the dialog manager wants the template.
  std::vector<std::uint8_t> bytes_;
};

short Clamp(int value) { return static_cast<short>(std::clamp(value, -32768, 32767)); }

struct ItemClass {
  WORD atom;
  DWORD style;
};

ItemClass ClassOf(const ControlTemplate& control) {
  switch (control.kind) {
    case ControlKind::kDropDownList:
      return {kComboBoxClass, CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP};
    case ControlKind::kCheckBox: return {kButtonClass, BS_AUTOCHECKBOX | WS_TABSTOP};
    case ControlKind::kPushButton: return {kButtonClass, BS_PUSHBUTTON | WS_TABSTOP};
    case ControlKind::kDefaultPushButton: return {kButtonClass, BS_DEFPUSHBUTTON | WS_TABSTOP};
    case ControlKind::kLabel:
      // Plain text: '&' is a character, not a mnemonic.
      return {kStaticClass, static_cast<DWORD>((control.wrapped ? SS_LEFT : SS_LEFTNOWORDWRAP) | SS_NOPREFIX)};
    case ControlKind::kGroupBox: return {kButtonClass, BS_GROUPBOX};
  }
  return {kStaticClass, SS_LEFT | SS_NOPREFIX};
}

std::wstring CaptionOf(const ControlTemplate& control) {
  switch (control.kind) {
    case ControlKind::kDropDownList: return {};
    case ControlKind::kLabel: return ToWindowText(control.text);
    default: return ButtonCaption(control.text);
  }
}

void WriteTemplate(TemplateWriter& out, const DialogTemplate& dialogTemplate) {
  // The face the desktop's dialogs use when the template names none.
  const std::wstring face = dialogTemplate.fontFamily.empty() ? L"MS Shell Dlg" : ToWindowText(dialogTemplate.fontFamily);
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
  if (dialogTemplate.fontFamily.empty()) style |= DS_SHELLFONT;
  out.Word(1);       // dlgVer
  out.Word(0xFFFF);  // signature: DLGTEMPLATEEX
  out.Dword(0);      // helpID
  out.Dword(0);      // exStyle
  out.Dword(style);
  out.Word(static_cast<WORD>(dialogTemplate.controls.size()));
  out.Short(0);
  out.Short(0);
  out.Short(Clamp(dialogTemplate.width));
  out.Short(Clamp(dialogTemplate.height));
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.Text(ToWindowText(dialogTemplate.caption));
  out.Word(static_cast<WORD>(dialogTemplate.fontPointSize));
  out.Word(dialogTemplate.boldFont ? FW_BOLD : FW_NORMAL);
  out.Byte(FALSE);  // italic
  out.Byte(DEFAULT_CHARSET);
  out.Text(face);

  for (const ControlTemplate& control : dialogTemplate.controls) {
    const ItemClass itemClass = ClassOf(control);
    DWORD itemStyle = WS_CHILD | itemClass.style;
    if (!control.hidden) itemStyle |= WS_VISIBLE;
    if (control.disabled) itemStyle |= WS_DISABLED;
    out.AlignToDword();
    out.Dword(0);  // helpID
    out.Dword(0);  // exStyle
    out.Dword(itemStyle);
    out.Short(Clamp(control.rect.x));
    out.Short(Clamp(control.rect.y));
    out.Short(Clamp(control.rect.width));
    out.Short(Clamp(control.rect.height));
    out.Dword(static_cast<DWORD>(control.id));
    out.Word(0xFFFF);
    out.Word(itemClass.atom);
    out.Text(CaptionOf(control));
    out.Word(0);  // no creation data
  }
}

// The accessibility API's annotation service, made once per thread (COM
// wants to be started on the thread that uses it); nullptr where the
// system has none.
IAccPropServices* AnnotationService() {
  struct Service {
    IAccPropServices* service = nullptr;
    Service() {
      // S_FALSE: COM was started already on this thread, which is as good.
      if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
      if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                  reinterpret_cast<void**>(&service)))) {
        service = nullptr;
      }
    }
  };
  static thread_local Service made;
  return made.service;
}

bool IsPushButton(ControlKind kind) {
  return kind == ControlKind::kPushButton || kind == ControlKind::kDefaultPushButton;
}

bool NoModifiers() {
  return (GetKeyState(VK_CONTROL) & 0x8000) == 0 && (GetKeyState(VK_MENU) & 0x8000) == 0 &&
         (GetKeyState(VK_SHIFT) & 0x8000) == 0;
}

}  // namespace

// --- Texts ---------------------------------------------------------------------

std::wstring ToWindowText(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  // GBK (936), the two-byte part of GB18030, where the system lacks code
  // page 54936 (wine does).
  for (const UINT codePage : {static_cast<UINT>(CP_UTF8), 54936u, 936u}) {
    const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (units <= 0) continue;
    std::wstring text(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, text.data(), units);
    return text;
  }
  // Neither: UTF-8 with a replacement character for each bad sequence.
  return platform::Wide(bytes);
}

std::string FromWindowText(const std::wstring& text) { return platform::Utf8(text); }

std::wstring ButtonCaption(const std::string& bytes) {
  std::wstring caption;
  for (const wchar_t c : ToWindowText(bytes)) {
    caption += c;
    if (c == L'&') caption += L'&';
  }
  return caption;
}

// --- The window ------------------------------------------------------------------

DialogWindow::DialogWindow(DialogBase& dialog, const DialogTemplate& dialogTemplate, DialogWindow* owner)
    : dialog_(dialog), owner_(owner) {
  for (const ControlTemplate& control : dialogTemplate.controls) kinds_[control.id] = control.kind;
  TemplateWriter writer;
  WriteTemplate(writer, dialogTemplate);
  window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), writer.Data(), owner ? owner->Handle() : nullptr,
                                       &DialogWindow::DialogProc, reinterpret_cast<LPARAM>(this));
  if (window_ == nullptr) {
    throw std::runtime_error("cannot create the dialog window (Windows error " + std::to_string(GetLastError()) +
                             ")");
  }
  // The list items of the template, in their order, none selected.
  for (const ControlTemplate& control : dialogTemplate.controls) {
    if (control.kind != ControlKind::kDropDownList) continue;
    HWND list = GetDlgItem(window_, control.id);
    for (const std::string& item : control.items) {
      SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWindowText(item).c_str()));
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  }
}

DialogWindow::~DialogWindow() {
  for (const auto& timer : timers_) KillTimer(window_, timer.first);
  if (IAccPropServices* const service = named_.empty() ? nullptr : AnnotationService()) {
    for (HWND control : named_) {
      MSAAPROPID name = PROPID_ACC_NAME;
      service->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name, 1);
    }
  }
  if (window_ != nullptr) {
    // The procedure must not reach this object while the window goes.
    SetWindowLongPtrW(window_, DWLP_USER, 0);
    DestroyWindow(window_);
  }
}

HWND DialogWindow::Control(int id) const { return kinds_.count(id) != 0 ? GetDlgItem(window_, id) : nullptr; }

bool DialogWindow::KindOf(int id, ControlKind& kind) const {
  const auto found = kinds_.find(id);
  if (found == kinds_.end()) return false;
  kind = found->second;
  return true;
}

HWND DialogWindow::Need(int id, ControlKind kind, const char* what) const {
  ControlKind actual{};
  if (!KindOf(id, actual) || actual != kind) {
    throw std::logic_error(std::string("no ") + what + " with id " + std::to_string(id));
  }
  return GetDlgItem(window_, id);
}

HWND DialogWindow::NeedButtonOrLabel(int id) const {
  ControlKind kind{};
  if (!KindOf(id, kind) || kind == ControlKind::kDropDownList) {
    throw std::logic_error("no control with a caption has this id");
  }
  return GetDlgItem(window_, id);
}

int DialogWindow::RunModal() {
  ended_ = false;
  result_ = kIdCancel;
  dialog_.Initialise();
  // A dialog that ended in its own initialisation is never shown.
  if (ended_) return result_;
  running_ = true;
  HWND const owner = owner_ != nullptr ? owner_->Handle() : nullptr;
  if (owner != nullptr) EnableWindow(owner, FALSE);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  // The focus goes to the first control with a tab stop.
  if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) SetFocus(first);
  if (endWhenShown_) PostMessageW(window_, kEndWhenShownMessage, 0, 0);

  MSG message;
  while (!ended_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      // WM_QUIT: the program is asked to end. The run ends, and the outer
      // loop (if any) gets the request as well.
      PostQuitMessage(static_cast<int>(message.wParam));
      End(kIdCancel);
      break;
    }
    if (got < 0) {
      End(kIdCancel);
      break;
    }
    if (TakeKey(message) || IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  running_ = false;
  return result_;
}

void DialogWindow::End(int result) {
  dialog_.OnEndDialog();
  for (const auto& timer : timers_) KillTimer(window_, timer.first);
  timers_.clear();
  result_ = result;
  ended_ = true;
  // The owner first, so that Windows hands it the activation when this
  // window goes.
  if (owner_ != nullptr) EnableWindow(owner_->Handle(), TRUE);
  ShowWindow(window_, SW_HIDE);
}

int DialogWindow::StartTimer(int milliseconds, std::function<void()> elapsed) {
  const UINT_PTR id = nextTimer_++;
  if (SetTimer(window_, id, static_cast<UINT>(std::max(milliseconds, 0)), nullptr) == 0) {
    throw std::runtime_error("cannot start a timer (Windows error " + std::to_string(GetLastError()) + ")");
  }
  timers_[id] = std::move(elapsed);
  return static_cast<int>(id);
}

void DialogWindow::StopTimer(int id) {
  const auto found = timers_.find(static_cast<UINT_PTR>(id));
  if (found == timers_.end()) return;
  KillTimer(window_, found->first);
  timers_.erase(found);
}

void DialogWindow::AppendSystemMenuSeparator() {
  if (HMENU menu = GetSystemMenu(window_, FALSE)) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}

void DialogWindow::AppendSystemMenuItem(int id, const std::wstring& text) {
  if (HMENU menu = GetSystemMenu(window_, FALSE)) {
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), text.c_str());
  }
}

void DialogWindow::SetAccessibleName(HWND control, const std::wstring& name) {
  IAccPropServices* const service = AnnotationService();
  if (service == nullptr) return;
  if (SUCCEEDED(service->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                                        name.c_str()))) {
    named_.insert(control);
  }
}

void DialogWindow::Clicked(int id) { dialog_.OnCommand(id); }

void DialogWindow::PressEnter() {
  HWND const focused = GetFocus();
  if (focused != nullptr && GetParent(focused) == window_) {
    const int id = GetDlgCtrlID(focused);
    ControlKind kind{};
    if (KindOf(id, kind) && IsPushButton(kind) && IsWindowEnabled(focused)) {
      Clicked(id);
      return;
    }
  }
  for (const auto& [id, kind] : kinds_) {
    if (kind != ControlKind::kDefaultPushButton) continue;
    if (IsWindowEnabled(GetDlgItem(window_, id))) Clicked(id);
    return;
  }
  dialog_.OnOK();
}

bool DialogWindow::TakeKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || (message.wParam != VK_RETURN && message.wParam != VK_ESCAPE)) return false;
  if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
  if (!NoModifiers()) return false;
  // An open drop-down list takes Enter and Esc itself, to close.
  for (HWND control = message.hwnd; control != nullptr && control != window_; control = GetParent(control)) {
    ControlKind kind{};
    if (KindOf(GetDlgCtrlID(control), kind) && kind == ControlKind::kDropDownList &&
        SendMessageW(control, CB_GETDROPPEDSTATE, 0, 0) != 0) {
      return false;
    }
  }
  if (message.wParam == VK_ESCAPE) {
    dialog_.OnCancel();
  } else {
    PressEnter();
  }
  return true;
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<DialogWindow*>(lParam);
    self->window_ = window;
    // The DialogBase's own initialisation runs when the dialog is first
    // shown (RunModal): the window class deriving from it is not yet
    // constructed here.
    return TRUE;
  }
  auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  return self->Handle(message, wParam, lParam);
}

INT_PTR DialogWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      ControlKind kind{};
      if (lParam != 0 && KindOf(id, kind)) {
        if (code == BN_CLICKED && IsPushButton(kind)) {
          Clicked(id);
          return TRUE;
        }
        if (code == CBN_SELCHANGE && kind == ControlKind::kDropDownList) {
          dialog_.OnListSelectionChange(id);
          return TRUE;
        }
        return FALSE;
      }
      // From the dialog manager, not from a control: the OK and cancel
      // commands (Enter and Esc are taken before it, but it sends these
      // for other keys of its own as well).
      if (lParam == 0 && id == IDCANCEL) {
        dialog_.OnCancel();
        return TRUE;
      }
      if (lParam == 0 && id == IDOK) {
        PressEnter();
        return TRUE;
      }
      return FALSE;
    }
    case WM_CLOSE:
      // The close request decides itself whether and how the dialog ends.
      dialog_.OnCloseRequest();
      return TRUE;
    case WM_SYSCOMMAND:
      // The items appended to the system menu have ids below the system's
      // own (SC_SIZE, 0xF000, and up), which keep their default handling.
      if ((wParam & 0xFFF0) < SC_SIZE) {
        dialog_.OnSystemCommand(static_cast<int>(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_TIMER: {
      const auto found = timers_.find(wParam);
      if (found == timers_.end()) return FALSE;
      // The timer leaves the table before `elapsed` runs, which may start
      // another or end the dialog.
      KillTimer(window_, found->first);
      std::function<void()> elapsed = std::move(found->second);
      timers_.erase(found);
      elapsed();
      return TRUE;
    }
    case kEndWhenShownMessage:
      if (running_ && !ended_) End(kIdCancel);
      return TRUE;
    default: return FALSE;
  }
}

// --- DialogBase on Win32 ---------------------------------------------------------

DialogBase::DialogBase(const DialogTemplate& dialogTemplate, MessageBoxService& messageBoxes, DialogBase* owner)
    : messageBoxes_(messageBoxes),
      window_(std::make_unique<DialogWindow>(*this, dialogTemplate, owner ? &owner->Window() : nullptr)) {}

DialogBase::~DialogBase() = default;

int DialogBase::DoModal() { return window_->RunModal(); }

void DialogBase::EndWhenShown() { window_->SetEndWhenShown(); }

void DialogBase::EndDialog(int result) { window_->End(result); }

bool DialogBase::HasControl(int id) const {
  ControlKind kind{};
  return window_->KindOf(id, kind);
}

void DialogBase::SetWindowCaption(const std::string& text) {
  SetWindowTextW(window_->Handle(), ToWindowText(text).c_str());
}

void DialogBase::SetControlCaption(int id, const std::string& text) {
  HWND const control = window_->NeedButtonOrLabel(id);
  ControlKind kind{};
  window_->KindOf(id, kind);
  const std::wstring caption = kind == ControlKind::kLabel ? ToWindowText(text) : ButtonCaption(text);
  SetWindowTextW(control, caption.c_str());
}

void DialogBase::SetControlName(int id, const std::string& name) {
  HWND const control = window_->Control(id);
  if (control == nullptr) throw std::logic_error("no control with id " + std::to_string(id) + " to name");
  window_->SetAccessibleName(control, ToWindowText(name));
}

void DialogBase::EnableControl(int id, bool enable) {
  if (HWND control = window_->Control(id)) EnableWindow(control, enable ? TRUE : FALSE);
}

void DialogBase::ShowControl(int id, bool show) {
  if (HWND control = window_->Control(id)) ShowWindow(control, show ? SW_SHOWNA : SW_HIDE);
}

void DialogBase::SetIcon(const IconHandle& icon) {
  const Win32Icon* const icons = ToWin32Icon(icon);
  HWND const window = window_->Handle();
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons ? icons->bigIcon : nullptr));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons ? icons->smallIcon : nullptr));
}

void DialogBase::AddListItem(int id, const std::string& text) {
  SendMessageW(window_->Need(id, ControlKind::kDropDownList, "drop-down list"), CB_ADDSTRING, 0,
               reinterpret_cast<LPARAM>(ToWindowText(text).c_str()));
}

void DialogBase::DeleteListItem(int id, int position) {
  HWND const list = window_->Need(id, ControlKind::kDropDownList, "drop-down list");
  if (position >= 0) SendMessageW(list, CB_DELETESTRING, static_cast<WPARAM>(position), 0);
}

int DialogBase::ListItemCount(int id) const {
  const LRESULT count = SendMessageW(window_->Need(id, ControlKind::kDropDownList, "drop-down list"), CB_GETCOUNT, 0, 0);
  return count == CB_ERR ? 0 : static_cast<int>(count);
}

int DialogBase::ListSelection(int id) const {
  const LRESULT selected =
      SendMessageW(window_->Need(id, ControlKind::kDropDownList, "drop-down list"), CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void DialogBase::SelectListItem(int id, int position) {
  HWND const list = window_->Need(id, ControlKind::kDropDownList, "drop-down list");
  const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  // A position past the end selects nothing, as -1 does.
  SendMessageW(list, CB_SETCURSEL, position >= 0 && position < count ? static_cast<WPARAM>(position) : static_cast<WPARAM>(-1), 0);
}

bool DialogBase::IsChecked(int id) const {
  return SendMessageW(window_->Need(id, ControlKind::kCheckBox, "check box"), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void DialogBase::SetChecked(int id, bool checked) {
  SendMessageW(window_->Need(id, ControlKind::kCheckBox, "check box"), BM_SETCHECK,
               checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DialogBase::WatchDescriptor(int descriptor, std::function<void()>) {
  // Windows has no descriptors to wait for in a window's message loop, and
  // the reader link there gives the window none (no hot-plug news, no
  // keyboard side): a call is a mistake of the caller, said at once.
  throw std::logic_error("the Win32 back-end cannot watch descriptors (asked for " + std::to_string(descriptor) +
                         ")");
}

void DialogBase::StopWatching(int) {}

int DialogBase::StartTimer(int milliseconds, std::function<void()> elapsed) {
  return window_->StartTimer(milliseconds, std::move(elapsed));
}

void DialogBase::StopTimer(int id) { window_->StopTimer(id); }

void DialogBase::AppendSystemMenuSeparator() { window_->AppendSystemMenuSeparator(); }

void DialogBase::AppendSystemMenuItem(int id, const std::string& text) {
  window_->AppendSystemMenuItem(id, ToWindowText(text));
}

}  // namespace rdrconf
