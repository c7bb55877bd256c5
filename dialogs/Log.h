#pragma once

#include <string>

namespace rdrconf {

// Warnings of the windows, under a logging category of the back-end (Qt's
// categories such as "rdrconf.reader", which QT_LOGGING_RULES can silence).
// `category` must be a string that lives as long as the program.
void LogWarning(const char* category, const std::string& text);

}  // namespace rdrconf
