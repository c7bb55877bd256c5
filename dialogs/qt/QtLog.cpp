#include <QLoggingCategory>
#include <map>
#include <memory>
#include <string>

#include "dialogs/Log.h"

namespace rdrconf {

void LogWarning(const char* category, const std::string& text) {
  // One category object per name, made the first time it is used: Qt keeps
  // a pointer to the name, which lives as long as the program.
  static std::map<std::string, std::unique_ptr<QLoggingCategory>> categories;
  std::unique_ptr<QLoggingCategory>& found = categories[category];
  if (!found) found = std::make_unique<QLoggingCategory>(category, QtWarningMsg);
  qCWarning(*found, "%s", text.c_str());
}

}  // namespace rdrconf
