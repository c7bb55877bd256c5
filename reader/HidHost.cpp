#include "reader/HidHost.h"

#include "reader/HidApiHost.h"

namespace rdrconf {
namespace {

HidHost* g_replacement = nullptr;

HidHost& DefaultHost() {
  static HidApiHost host;
  return host;
}

}  // namespace

HidHost& CurrentHidHost() { return g_replacement ? *g_replacement : DefaultHost(); }

HidHost* SetCurrentHidHost(HidHost* host) {
  HidHost* const previous = g_replacement;
  g_replacement = host;
  return previous;
}

}  // namespace rdrconf
