// Binding through appendParameter and Parameter.
#include <cwchar>
#include <functional>
#include <optional>

#include "DbTestSupport.h"

namespace sqliteprovider::testing {
namespace {

using Bind = std::function<void(Command&)>;
using Set = std::function<void(Parameter&)>;

const char kBlob[] = {'a', '\0', 'b'};
const std::string kClef = "\xF0\x9D\x84\x9E";  // U+1D11E, beyond the basic plane
const std::string kReplacement = "\xEF\xBF\xBD";
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
  return {
      {"null", [](Command& c) { c.appendParameter(1); }, Set([](Parameter& p) { p.set(1); }), "null", "", 0},
      {"int", [](Command& c) { c.appendParameter(1, -7); }, Set([](Parameter& p) { p.set(1, -7); }), "integer", "-7",
       2},
      {"long", [](Command& c) { c.appendParameter(1, 5000000000L); }, std::nullopt, "integer", "5000000000", 10},
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
      {"wide non-characters", [](Command& c) { c.appendParameter(1, kNoScalarValues); },
       Set([](Parameter& p) { p.set(1, kNoScalarValues); }), "text", kReplacement + kReplacement, 2},
      {"null const wchar_t*", [](Command& c) { c.appendParameter(1, static_cast<const wchar_t*>(nullptr)); },
       Set([](Parameter& p) { p.set(1, static_cast<const wchar_t*>(nullptr)); }), "null", "", 0},
      {"blob from char*", [](Command& c) { c.appendParameter(1, kBlob, 3); },
       Set([](Parameter& p) { p.set(1, kBlob, 3); }), "blob", std::string(kBlob, 3), 3},
      {"blob from void*", [](Command& c) { c.appendParameter(1, static_cast<const void*>(kBlob), 2); },
       Set([](Parameter& p) { p.set(1, static_cast<const void*>(kBlob), 2); }), "blob", std::string(kBlob, 2), 2},
  };
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

TEST_F(ParameterTest, AppendParameterIgnoresEveryRefusal) {
  Command query(db, "SELECT ?");
  EXPECT_NO_THROW(query.appendParameter(2, 1));
  EXPECT_NO_THROW(query.appendParameter(0, 1));
  EXPECT_NO_THROW(query.appendParameter(1, kBlob, -1));
  query.execute();
  EXPECT_TRUE(query.isDbNull(0));
  EXPECT_NO_THROW(query.appendParameter(1, 1));  // the statement is running
  EXPECT_TRUE(query.isDbNull(0));
  Command empty(db);
  EXPECT_NO_THROW(empty.appendParameter(1, std::string("x")));
}

}  // namespace
}  // namespace sqliteprovider::testing
