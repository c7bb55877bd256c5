#include "Engine.h"

namespace sqliteprovider::detail {

std::u16string toUtf16(const wchar_t* text, std::size_t length) {
  std::u16string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
      out.push_back(static_cast<char16_t>(text[i]));
    } else {
      auto c = static_cast<char32_t>(text[i]);
      const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
      if (surrogate || c > 0x10FFFF) {
        out.push_back(u'\uFFFD');
      } else if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
      } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
      }
    }
  }
  return out;
}

int bindWideText(sqlite3_stmt* statement, int index, const wchar_t* text, std::size_t length) {
  if (!text) {
    return sqlite3_bind_null(statement, index);
  }
  std::u16string utf16 = toUtf16(text, length);
  // The engine reads a leading U+FEFF of UTF-16 text as a byte-order mark
  // and drops it (and a leading U+FFFE as one of the other order, reading
  // the rest byte-swapped): a mark of our own in front is the one it takes,
  // and the text's own first character stays.
  if (!utf16.empty() && (utf16.front() == u'\uFEFF' || utf16.front() == u'\uFFFE')) {
    utf16.insert(utf16.begin(), u'\uFEFF');
  }
  // SQLITE_UTF16 is the machine's byte order; the length is in bytes.
  return sqlite3_bind_text64(statement, index, reinterpret_cast<const char*>(utf16.data()),
                             utf16.size() * sizeof(char16_t), SQLITE_TRANSIENT, SQLITE_UTF16);
}

int bindBlob(sqlite3_stmt* statement, int index, const void* data, int length) {
  if (length < 0) {
    return SQLITE_MISUSE;
  }
  return sqlite3_bind_blob(statement, index, data, length, SQLITE_TRANSIENT);
}

char* blob(sqlite3_stmt* statement, int index) {
  const void* value = sqlite3_column_blob(statement, index);
  const auto bytes = static_cast<std::size_t>(sqlite3_column_bytes(statement, index));
  char* out = new char[bytes + 1];
  if (value && bytes > 0) {
    std::memcpy(out, value, bytes);
  }
  out[bytes] = '\0';
  return out;
}

}  // namespace sqliteprovider::detail
