#include "reader/CardScan.h"

namespace rdrconf {

bool ScanDecoder::Feed(const TypedKey& key) {
  switch (key.kind) {
    case TypedKey::Kind::kEnter:
      result_.enter = true;
      return true;
    case TypedKey::Kind::kCharacter:
      result_.text += key.character;
      break;
    case TypedKey::Kind::kOther:
      result_.text += "<" + key.name + ">";
      break;
  }
  ++result_.count;
  return false;
}

ScanResult ScanDecoder::Take() {
  ScanResult taken = std::move(result_);
  result_ = {};
  return taken;
}

}  // namespace rdrconf
