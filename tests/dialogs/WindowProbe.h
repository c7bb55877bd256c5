#pragma once

#include <string>

#include "dialogs/DialogBase.h"

// What the contract test of the dialog base sees of a window and does to
// it as a user would, through the back-end's own controls: each back-end
// has its own (tests/dialogs/qt, tests/dialogs/win32), the test is written
// once (DialogContractTest.cpp).
namespace rdrconf::test {

// The text a person reads on control `id` (the window's title for id 0),
// UTF-8: a mnemonic mark is not read, "&&" reads as "&".
std::string ShownText(const DialogBase& dialog, int id);
bool IsControlEnabled(const DialogBase& dialog, int id);
// Whether control `id` is shown while its window is.
bool IsControlShown(const DialogBase& dialog, int id);
bool IsWindowShown(const DialogBase& dialog);
std::string ListItemText(const DialogBase& dialog, int id, int position);

enum class Key { kEnter, kKeypadEnter, kEscape };

// Gives control `id` the focus.
void Focus(DialogBase& dialog, int id);
// Presses `key` where the focus is. Inside a modal run, it may take effect
// only once the calling timer has returned.
void Press(DialogBase& dialog, Key key);
// Picks item `position` of list `id` as the user does.
void Choose(DialogBase& dialog, int id, int position);
// The window's close box.
void PressCloseBox(DialogBase& dialog);
// The system menu's item `id`.
void ChooseSystemMenuItem(DialogBase& dialog, int id);

}  // namespace rdrconf::test
