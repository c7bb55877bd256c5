#pragma once

#include <QString>
#include <string>

namespace rdrconf {

// A text from a language file as a widget shows it. Valid UTF-8 is taken as
// UTF-8; anything else is read as GB18030, the encoding in which language
// files made on other desktops usually come. Bytes that fit neither become
// replacement characters.
QString ToWidgetText(const std::string& bytes);

}  // namespace rdrconf
