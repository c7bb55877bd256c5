// Binding through appendParameter and Parameter.
#include <sqlite3.h>

#include <cwchar>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

#include "DbTestSupport.h"

namespace sqliteprovider::testing {
namespace {

using Bind = std::function<void(Command&)>;
using Set = std::function<void(Parameter&)>;

const char kBlob[] = {'a', '\0', 'b'};
const std::string kClef = "\xF0\x9D\x84\x9E";  // U+1D11E, beyond the basic plane
const std::string kReplacement = "\xEF\xBF\xBD";
// wchar_t is 32-bit on Linux and holds code points: these two are none.
// On Windows it is 16-bit and holds UTF-16 units, passed on unchanged (see
// WideTextWidthTest), and 0x110000 cannot be one.
constexpr bool kWideIsUtf16 = sizeof(wchar_t) == sizeof(char16_t);
const wchar_t kNoScalarValues[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), L'\0'};

struct BindCase {
  const char* name;
  Bind append;
  std::optional<Set> set;  // there is no Parameter::set for long
  const char* type;        // typeof() of the bound value
  std::string utf8;        // the value read back as UTF-8
  long long characters;    // length() of the value (bytes for a blob)
};

std::vector<BindCase> bindCases() {
  const std::string textWithZero("x\0y", 3);
  std::vector<BindCase> cases = {
      {"null", [](Command& c) { c.appendParameter(1); }, Set([](Parameter& p) { p.set(1); }), "null", "", 0},
      {"int", [](Command& c) { c.appendParameter(1, -7); }, Set([](Parameter& p) { p.set(1, -7); }), "integer", "-7",
       2},
      // long is 64-bit on Linux and 32-bit on Windows: either way its whole
      // range arrives.
      {"long min", [](Command& c) { c.appendParameter(1, std::numeric_limits<long>::min()); }, std::nullopt,
       "integer", std::to_string(std::numeric_limits<long>::min()),
       static_cast<long long>(std::to_string(std::numeric_limits<long>::min()).size())},
      {"long max", [](Command& c) { c.appendParameter(1, std::numeric_limits<long>::max()); }, std::nullopt,
       "integer", std::to_string(std::numeric_limits<long>::max()),
       static_cast<long long>(std::to_string(std::numeric_limits<long>::max()).size())},
      {"long long", [](Command& c) { c.appendParameter(1, -5000000000LL); },
       Set([](Parameter& p) { p.set(1, -5000000000LL); }), "integer", "-5000000000", 11},
      {"double", [](Command& c) { c.appendParameter(1, 0.5); }, Set([](Parameter& p) { p.set(1, 0.5); }), "real",
       "0.5", 3},
      {"std::string", [=](Command& c) { c.appendParameter(1, textWithZero); },
       Set([=](Parameter& p) { p.set(1, textWithZero); }), "text", textWithZero, 1},
      {"const char*", [](Command& c) { c.appendParameter(1, "\xC3\xA9t\xC3\xA9"); },
       Set([](Parameter& p) { p.set(1, "\xC3\xA9t\xC3\xA9"); }), "text", "\xC3\xA9t\xC3\xA9", 3},
      {"null const char*", [](Command& c) { c.appendParameter(1, static_cast<const char*>(nullptr)); },
       Set([](Parameter& p) { p.set(1, static_cast<const char*>(nullptr)); }), "null", "", 0},
      {"std::wstring", [](Command& c) { c.appendParameter(1, std::wstring(L"a\U0001D11Eb")); },
       Set([](Parameter& p) { p.set(1, std::wstring(L"a\U0001D11Eb")); }), "text", "a" + kClef + "b", 3},
      {"const wchar_t*", [](Command& c) { c.appendParameter(1, L"\u00e9\U0001D11E"); },
       Set([](Parameter& p) { p.set(1, L"\u00e9\U0001D11E"); }), "text", "\xC3\xA9" + kClef, 2},
      {"null const wchar_t*", [](Command& c) { c.appendParameter(1, static_cast<const wchar_t*>(nullptr)); },
       Set([](Parameter& p) { p.set(1, static_cast<const wchar_t*>(nullptr)); }), "null", "", 0},
      {"blob from char*", [](Command& c) { c.appendParameter(1, kBlob, 3); },
       Set([](Parameter& p) { p.set(1, kBlob, 3); }), "blob", std::string(kBlob, 3), 3},
      {"blob from void*", [](Command& c) { c.appendParameter(1, static_cast<const void*>(kBlob), 2); },
       Set([](Parameter& p) { p.set(1, static_cast<const void*>(kBlob), 2); }), "blob", std::string(kBlob, 2), 2},
  };
  if (!kWideIsUtf16) {
    cases.push_back({"wide non-characters", [](Command& c) { c.appendParameter(1, kNoScalarValues); },
                     Set([](Parameter& p) { p.set(1, kNoScalarValues); }), "text", kReplacement + kReplacement, 2});
  }
  return cases;
}

class ParameterTest : public MemoryDbTest {
 protected:
  // Runs the bound query and checks what the engine received.
  void expectBound(Command& query, const BindCase& c) {
    query.execute();
    EXPECT_EQ(query.getString(0), c.type);
    EXPECT_EQ(query.getString(1), c.utf8);
    EXPECT_EQ(query.getInt64(2), c.characters);
  }
  static constexpr const char* kQuery = "SELECT typeof(?1), ?1, length(?1)";
};

TEST_F(ParameterTest, AppendParameterBindsEveryType) {
  for (const BindCase& c : bindCases()) {
    SCOPED_TRACE(c.name);
    Command query(db, kQuery);
    c.append(query);
    expectBound(query, c);
  }
}

TEST_F(ParameterTest, SetBindsEveryTypeAndSpendsTheParameter) {
  for (const BindCase& c : bindCases()) {
    if (!c.set) {
      continue;
    }
    SCOPED_TRACE(c.name);
    Command query(db, kQuery);
    Parameter parameter = query.createParameter();
    (*c.set)(parameter);
    EXPECT_EQ(messageOf([&] { parameter.set(2, 1); }), "Exception: The parameter has been assigned.");
    expectBound(query, c);
  }
}

TEST_F(ParameterTest, SpentParameterBindsNothingMore) {
  Command query(db, "SELECT ?1, ?2");
  Parameter parameter(query);
  parameter.set(1, 4);
  EXPECT_THROW(parameter.set(2, 5), Exception);
  EXPECT_THROW(parameter.set(1, 6), Exception);
  Parameter copy = parameter;
  EXPECT_THROW(copy.set(2), Exception);
  query.createParameter().set(2, std::string("fresh"));
  query.execute();
  EXPECT_EQ(query.getInt32(0), 4);
  EXPECT_EQ(query.getString(1), "fresh");
}

// What reaches the engine of wide text, for either width of wchar_t: in a
// database whose text is UTF-16 the engine keeps the units as they were
// bound, and hex() shows them, little-endian. 16-bit units pass unchanged,
// a lone surrogate included; 32-bit code points become UTF-16, and a value
// that is no code point becomes U+FFFD.
TEST(WideTextWidthTest, UnitsReachTheEngineAsTheWidthOfWcharTSays) {
  Connection db(":memory:");
  db.open();
  Command(db, "PRAGMA encoding = 'UTF-16le'").executeNonQuery();
  const wchar_t loneSurrogate[] = {L'a', static_cast<wchar_t>(0xD800), L'b', L'\0'};
  const std::string expected = kWideIsUtf16 ? "610000D86200" : "6100FDFF6200";
  Command query(db, "SELECT hex(?1), hex(?2), hex(?3)");
  query.appendParameter(1, loneSurrogate);
  query.appendParameter(2, std::wstring(loneSurrogate));
  query.appendParameter(3, L"\U0001D11E");  // two units of 16 bits, one code point of 32
  query.execute();
  EXPECT_EQ(query.getString(0), expected);
  EXPECT_EQ(query.getString(1), expected);
  EXPECT_EQ(query.getString(2), "34D81EDD");
  EXPECT_EQ(std::wcslen(L"\U0001D11E"), kWideIsUtf16 ? 2u : 1u);
}

// U+FEFF and U+FFFE are what a byte-order mark looks like: at the start of
// a wide text the engine would take either for one and drop it (or swap
// the bytes of the rest). Anywhere, they are kept as the characters they
// are.
TEST_F(ParameterTest, WideTextThatStartsLikeAByteOrderMarkKeepsItsFirstCharacter) {
  const std::wstring texts[] = {L"\uFEFF", L"\uFEFFab", std::wstring(1, static_cast<wchar_t>(0xFFFE)) + L"ab",
                                L"a\uFEFF"};
  const std::string utf8[] = {"\xEF\xBB\xBF", "\xEF\xBB\xBF" "ab", "\xEF\xBF\xBE" "ab", "a\xEF\xBB\xBF"};
  for (std::size_t i = 0; i < std::size(texts); ++i) {
    SCOPED_TRACE(i);
    Command query(db, "SELECT ?1, ?2, length(?1)");
    query.appendParameter(1, texts[i]);
    query.createParameter().set(2, texts[i].c_str());
    query.execute();
    EXPECT_EQ(query.getString(0), utf8[i]);
    EXPECT_EQ(query.getString(1), utf8[i]);
    EXPECT_EQ(query.getInt64(2), static_cast<long long>(texts[i].size()));
  }
}

TEST_F(ParameterTest, WideTextTakesTwoBytesPerUtf16Unit) {
  Command query(db, "SELECT ?");
  query.appendParameter(1, std::wstring(L"a\U0001D11E"));
  query.execute();
  const std::u16string expected = u"a\U0001D11E";
  EXPECT_EQ(query.getString16(0), std::string(reinterpret_cast<const char*>(expected.data()), 6));
}

TEST_F(ParameterTest, BoundTextIsCopied) {
  Command query(db, "SELECT ?");
  {
    std::string scratch(40, 'x');
    query.appendParameter(1, scratch);
    scratch.assign(40, 'y');
  }
  EXPECT_EQ(query.executeString(false), std::string(40, 'x'));
}

TEST_F(ParameterTest, SetReportsTheEnginesRefusalAndStaysFree) {
  Command query(db, "SELECT ?");
  Parameter parameter = query.createParameter();
  EXPECT_EQ(messageOf([&] { parameter.set(2, 1); }), kMemoryPrefix + "column index out of range");
  EXPECT_EQ(messageOf([&] { parameter.set(0, 1); }), kMemoryPrefix + "column index out of range");
  EXPECT_THROW(parameter.set(1, kBlob, -1), Exception);
  parameter.set(1, 9);  // still free
  EXPECT_EQ(query.executeInt(), 9);
  EXPECT_EQ(messageOf([&] { query.createParameter().set(1, 1); }),
            kMemoryPrefix + "bad parameter or other API misuse");  // the statement is running

  Command empty(db);
  EXPECT_THROW(empty.createParameter().set(1, 1), Exception);
}

// Each refusal that Parameter::set reports, appendParameter reports too.
TEST_F(ParameterTest, AppendParameterReportsEveryRefusal) {
  Command query(db, "SELECT ?");
  EXPECT_EQ(messageOf([&] { query.appendParameter(2, 1); }), kMemoryPrefix + "column index out of range");
  EXPECT_EQ(messageOf([&] { query.appendParameter(0, 1); }), kMemoryPrefix + "column index out of range");
  EXPECT_EQ(messageOf([&] { query.appendParameter(1, kBlob, -1); }),
            kMemoryPrefix + "bad parameter or other API misuse");
  query.execute();
  EXPECT_TRUE(query.isDbNull(0));
  EXPECT_EQ(messageOf([&] { query.appendParameter(1, 1); }),
            kMemoryPrefix + "bad parameter or other API misuse");  // the statement is running
  EXPECT_TRUE(query.isDbNull(0));
  Command empty(db);
  Command commentOnly(db, "-- no statement");
  for (Command* command : {&empty, &commentOnly}) {
    EXPECT_EQ(messageOf([&] { command->appendParameter(1, std::string("x")); }),
              "Exception: The sqlite statement is null.");
  }
}

// Values longer than the engine's limit for strings and blobs, lowered for
// these tests on every connection opened while the fixture lives. The engine
// refuses them at the bind; stored as NULL instead, the insert would report
// its row as written.
class TooBigValueTest : public ::testing::Test {
 protected:
  static constexpr int kLimit = 1000;
  static constexpr int kStored = kLimit - 100;

  TooBigValueTest() {
    EXPECT_EQ(sqlite3_auto_extension(reinterpret_cast<void (*)()>(&lowerLimit)), SQLITE_OK);
    db.open();
    Command(db, "CREATE TABLE v(x)").executeNonQuery();
  }
  ~TooBigValueTest() override { sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&lowerLimit)); }

  static int lowerLimit(sqlite3* handle, char**, const sqlite3_api_routines*) {
    sqlite3_limit(handle, SQLITE_LIMIT_LENGTH, kLimit);
    return SQLITE_OK;
  }

  long long rows() { return Command(db, "SELECT count(*) FROM v").executeInt64(); }
  long long storedBytes() { return Command(db, "SELECT length(CAST(x AS BLOB)) FROM v").executeInt64(); }

  Connection db{":memory:"};
};

struct SizedCase {
  const char* name;
  // Binds a value of the given size in bytes (UTF-16 bytes for wide text).
  std::function<void(Command&, std::size_t bytes)> bind;
  // Wide text is stored as UTF-8: one byte for each two bound here.
  bool wide;
};

std::vector<SizedCase> sizedCases() {
  const auto text = [](std::size_t bytes) { return std::string(bytes, 't'); };
  const auto wide = [](std::size_t bytes) { return std::wstring(bytes / 2, L'w'); };
  return {
      {"append std::string", [=](Command& c, std::size_t n) { c.appendParameter(1, text(n)); }, false},
      {"append const char*", [=](Command& c, std::size_t n) { c.appendParameter(1, text(n).c_str()); }, false},
      {"append std::wstring", [=](Command& c, std::size_t n) { c.appendParameter(1, wide(n)); }, true},
      {"append const wchar_t*", [=](Command& c, std::size_t n) { c.appendParameter(1, wide(n).c_str()); }, true},
      {"append blob", [=](Command& c, std::size_t n) { c.appendParameter(1, text(n).data(), static_cast<int>(n)); },
       false},
      {"set std::string", [=](Command& c, std::size_t n) { c.createParameter().set(1, text(n)); }, false},
      {"set std::wstring", [=](Command& c, std::size_t n) { c.createParameter().set(1, wide(n)); }, true},
      {"set blob", [=](Command& c, std::size_t n) { c.createParameter().set(1, text(n).data(), static_cast<int>(n)); },
       false},
  };
}

TEST_F(TooBigValueTest, RefusedWithTheEnginesErrorAndNothingIsStored) {
  for (const SizedCase& c : sizedCases()) {
    SCOPED_TRACE(c.name);
    Command insert(db, "INSERT INTO v VALUES (?)");
    const Exception refused = exceptionOf([&] {
      c.bind(insert, kLimit + 2);
      insert.executeNonQuery();
    });
    EXPECT_EQ(refused.what(), kMemoryPrefix + "string or blob too big");
    EXPECT_EQ(refused.errorCode(), SQLITE_TOOBIG);
    EXPECT_EQ(rows(), 0);
  }
}

// The limit holds for the whole stored row as well, so a value that may be
// bound but leaves no room for the row's header is refused by the insert.
TEST_F(TooBigValueTest, ValueWithinTheLimitIsStoredWhole) {
  for (const SizedCase& c : sizedCases()) {
    SCOPED_TRACE(c.name);
    Command(db, "DELETE FROM v").executeNonQuery();
    Command insert(db, "INSERT INTO v VALUES (?)");
    c.bind(insert, kStored);
    EXPECT_EQ(insert.executeNonQuery(), 1);
    EXPECT_EQ(storedBytes(), c.wide ? kStored / 2 : kStored);
  }
}

}  // namespace
}  // namespace sqliteprovider::testing
