// What every back-end of the dialog framework shares: data exchange and the
// default handling of the dialog's events.
#include "dialogs/DialogBase.h"

#include "dialogs/MessageBox.h"

namespace rdrconf {

void DataExchange::ListIndex(int id, int& value) {
  if (toMembers_) {
    value = dialog_.ListSelection(id);
  } else {
    dialog_.SelectListItem(id, value >= 0 && value < dialog_.ListItemCount(id) ? value : -1);
  }
}

void DataExchange::CheckState(int id, int& value) {
  if (toMembers_) {
    value = dialog_.IsChecked(id) ? 1 : 0;
  } else {
    dialog_.SetChecked(id, value != 0);
  }
}

void DialogBase::Initialise() {
  if (initialised_) return;
  initialised_ = true;
  OnInitDialog();
}

void DialogBase::UpdateData(bool toMembers) {
  DataExchange exchange(*this, toMembers);
  DoDataExchange(exchange);
}

void DialogBase::MessageBox(const std::string& text, const std::string& details) {
  messageBoxes_.Show(this, text, details);
}

void DialogBase::DoDataExchange(DataExchange&) {}

void DialogBase::OnInitDialog() { UpdateData(false); }

void DialogBase::OnOK() {
  UpdateData(true);
  EndDialog(kIdOk);
}

void DialogBase::OnCancel() { EndDialog(kIdCancel); }

void DialogBase::OnCommand(int id) {
  if (id == kIdOk) {
    OnOK();
  } else if (id == kIdCancel) {
    OnCancel();
  }
}

void DialogBase::OnListSelectionChange(int) {}

void DialogBase::OnCloseRequest() { OnCancel(); }

void DialogBase::OnSystemCommand(int) {}

void DialogBase::OnEndDialog() {}

}  // namespace rdrconf
