#pragma once

#include <QIcon>

namespace rdrconf {

// The application icon, in every size that ships with it.
QIcon AppIcon();

}  // namespace rdrconf
