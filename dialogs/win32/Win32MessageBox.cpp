#include "dialogs/MessageBox.h"
#include "dialogs/win32/DialogWindow.h"

namespace rdrconf {

void SystemMessageBox::Show(DialogBase* owner, const std::string& text, const std::string& details) {
  // The box's text is plain text ('&' included); the details go under the
  // text after a blank line, as the informative text of the other back-end.
  std::wstring body = ToWindowText(text);
  if (!details.empty()) body += L"\n\n" + ToWindowText(details);
  // An empty title (not a null one, for which Windows writes "Error"),
  // one OK button, no icon; modal to the owner, which it disables.
  MessageBoxW(owner != nullptr ? owner->Window().Handle() : nullptr, body.c_str(), L"", MB_OK);
}

}  // namespace rdrconf
