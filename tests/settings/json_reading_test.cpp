// How the agent server's answers are read: which texts ParseJson takes and
// which it refuses (with the parser's message in the debug output, never an
// exception), and what the callers' member lookups then find. Each row is an
// answer body as RequestJson hands it over.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "settings/http_client.h"
#include "support/scoped_machine.h"

namespace {

using namespace std::string_literals;

struct AnswerRow {
  const char* what;
  std::string text;     // the answer's bytes (UTF-8)
  bool refused;         // ParseJson gives null and reports why
  std::wstring update;  // what the callers take as the member "update"
};

// Reads every row as the agent server check does; a refused text must leave
// a reason in the debug output, a taken one none.
void ExpectAnswers(const std::vector<AnswerRow>& rows) {
  for (const AnswerRow& row : rows) {
    platform::ClearDebugLog();
    const auto answer = ParseJson(platform::Utf8ToWide(row.text));
    if (row.refused) {
      EXPECT_TRUE(answer.is_null()) << row.what;
    }
    EXPECT_EQ(platform::ReadDebugLog().empty(), !row.refused)
        << row.what << ": a refused text leaves the parser's message in the debug output, a taken one nothing";
    EXPECT_EQ(JsonToString(JsonMember(answer, L"update")), row.update) << row.what;
  }
}

// An answer whose member "deep" opens `levels` nested containers, alternately
// arrays and objects, so that the answer as a whole nests levels + 1 deep.
std::string AnswerNesting(int levels) {
  std::string open, close;
  for (int level = 0; level < levels; ++level) {
    open += level % 2 == 0 ? "[" : "{\"a\":";
    close.insert(0, level % 2 == 0 ? "]" : "}");
  }
  return "{\"update\":\"x\",\"deep\":" + open + "1" + close + "}";
}

TEST(JsonReadingTest, BlanksCommentsAndStrayCharacters) {
  testing_support::ScopedMachine machine;
  ExpectAnswers({
      {"plain", R"({"update":"x"})", false, L"x"},
      {"blanks of every kind", " \t\r\n{\"update\" :\v\"x\"\f}\v\f ", false, L"x"},
      {"comments wherever a blank may stand", R"(/*a*/{/*b*/"update"//c
:/*d*/"x"/**/}// end)", false, L"x"},
      {"a comment that is not closed", R"({"update":"x"}/*)", true, L""},
      {"a lone slash", R"({"update":"x"} /)", true, L""},
      {"a NUL after the value", "{\"update\":\"x\"}\0"s, true, L""},
      {"a NUL between members", "{\"update\":\"x\",\0\"mqtt\":\"m\"}"s, true, L""},
      {"a NUL inside a comment", "{\"update\":\"x\"}/*\0*/"s, false, L"x"},
      {"a NUL inside a string", "{\"update\":\"a\0b\"}"s, true, L""},
      {"a vertical tab inside a string", "{\"update\":\"a\vb\"}", true, L""},
      {"a tab inside a string", "{\"update\":\"a\tb\"}", true, L""},
      {"a byte order mark before the value", "\xEF\xBB\xBF{\"update\":\"x\"}", true, L""},
      {"a byte order mark inside a string", "{\"update\":\"\xEF\xBB\xBFx\"}", false, L"\uFEFFx"},
      {"a no-break space as a blank", "\xC2\xA0{\"update\":\"x\"}", true, L""},
      {"nothing", "", true, L""},
      {"blanks only", "  \n", true, L""},
      {"a second value", R"({"update":"x"}{})", true, L""},
      {"a trailing word", R"({"update":"x"} x)", true, L""},
  });
}

TEST(JsonReadingTest, MalformedAnswersAreRefusedWhole) {
  testing_support::ScopedMachine machine;
  ExpectAnswers({
      {"a trailing comma in an object", R"({"update":"x",})", true, L""},
      {"a trailing comma in an array", R"({"update":"x","a":[1,]})", true, L""},
      {"a missing colon", R"({"update" "x"})", true, L""},
      {"a key that is no string", R"({"update":"x",1:2})", true, L""},
      {"an object that does not end", R"({"update":"x","mqtt":"m")", true, L""},
      {"a string that does not end", R"({"update":"x)", true, L""},
      {"a broken value after the member", R"({"update":"x","mqtt":nul})", true, L""},
      {"a capitalised literal", R"({"update":"x","b":True})", true, L""},
      {"NaN", R"({"update":"x","n":NaN})", true, L""},
      {"Infinity", R"({"update":"x","n":-Infinity})", true, L""},
      {"a hexadecimal number", R"({"update":"x","n":0x10})", true, L""},
      {"a number with a plus sign", R"({"update":"x","n":+1})", true, L""},
      {"a number without digits after its point", R"({"update":"x","n":1.})", true, L""},
      {"a number without an exponent", R"({"update":"x","n":1e})", true, L""},
      {"an unknown escape", R"({"update":"\x41"})", true, L""},
      {"a short unicode escape", R"({"update":"\u12"})", true, L""},
      {"a lone high surrogate", R"({"update":"\ud800"})", true, L""},
      {"a high surrogate before a letter", R"({"update":"\ud800\u0041"})", true, L""},
      {"two high surrogates", R"({"update":"\ud800\ud800"})", true, L""},
  });
}

TEST(JsonReadingTest, NumbersAndEscapesThatAreTaken) {
  testing_support::ScopedMachine machine;
  ExpectAnswers({
      {"escapes", R"({"update":"\"\\\/\b\f\n\r\t"})", false, L"\"\\/\b\f\n\r\t"},
      {"unicode escapes", R"({"update":"\u00e9\uAC00\ud83d\ude00"})", false, L"\u00E9\uAC00\U0001F600"},
      {"an escaped NUL", R"({"update":"a\u0000b"})", false, L"a\0b"s},
      {"UTF-8 as it stands", "{\"update\":\"\xEA\xB0\x80\"}", false, L"\uAC00"},
      {"an integer beyond 64 bits", R"({"update":"x","n":123456789012345678901234567890})", false, L"x"},
      {"the largest unsigned 64-bit integer and one more",
       R"({"update":"x","n":[18446744073709551615,18446744073709551616]})", false, L"x"},
      {"the smallest signed 64-bit integer and one less",
       R"({"update":"x","n":[-9223372036854775808,-9223372036854775809]})", false, L"x"},
      {"the largest double", R"({"update":"x","n":1.7976931348623157e308})", false, L"x"},
      {"a fraction too small for a double", R"({"update":"x","n":1e-400})", false, L"x"},
      {"negative zero", R"({"update":"x","n":[-0,-0.0]})", false, L"x"},
  });
}

// Texts that are no JSON but that the installer once took as an answer: a
// number written with a leading zero, a number beyond the range of a double,
// and a low surrogate escape without its high half. They are refused like any
// other malformed answer.
TEST(JsonReadingTest, NoJsonBeyondTheGrammarIsTaken) {
  testing_support::ScopedMachine machine;
  ExpectAnswers({
      {"a leading zero", R"({"update":"x","n":01})", true, L""},
      {"a negative number with a leading zero", R"({"update":"x","n":-01})", true, L""},
      {"a number beyond the range of a double", R"({"update":"x","n":2e308})", true, L""},
      {"a lone low surrogate", R"({"update":"\udc00x"})", true, L""},
  });
}

TEST(JsonReadingTest, AnswersNestMostOneHundredAndTwentyEightDeep) {
  testing_support::ScopedMachine machine;
  ExpectAnswers({
      {"128 levels", AnswerNesting(127), false, L"x"},
      {"129 levels", AnswerNesting(128), true, L""},
      {"129 arrays", std::string(129, '[') + std::string(129, ']'), true, L""},
      // The parser stops at the first level too many: a long answer of open
      // brackets costs no memory for the levels that follow.
      {"a megabyte of open brackets", "{\"update\":\"x\",\"deep\":" + std::string(1 << 20, '['), true, L""},
  });
}

// The reason for a refusal names what went wrong, not the whole token it
// went wrong in: a long string or number costs the debug output one short
// line, in ASCII whatever the answer's characters.
TEST(JsonReadingTest, AReasonIsOneShortLineWhateverTheToken) {
  testing_support::ScopedMachine machine;
  std::string korean;
  for (int i = 0; i < 100000; ++i) korean += "\xEA\xB0\x80";
  const std::string longText(1 << 20, 'a');
  const std::string longNumber(1 << 20, '1');
  for (const std::string& text : {"{\"update\":\"" + longText + "\x01\"}", "{\"update\":" + longNumber + "e999}",
                                  "{\"update\":\"" + korean + "\\x\"}"}) {
    platform::ClearDebugLog();
    EXPECT_TRUE(ParseJson(platform::Utf8ToWide(text)).is_null());
    const std::vector<std::wstring> log = platform::ReadDebugLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_LE(log.front().size(), 400u);
    EXPECT_TRUE(std::all_of(log.front().begin(), log.front().end(), [](wchar_t c) { return c < 0x80; }))
        << platform::WideToUtf8(log.front());
  }
}

// A member named twice keeps its first value, whatever the second holds.
TEST(JsonReadingTest, TheFirstOfTwoMembersOfOneNameCounts) {
  testing_support::ScopedMachine machine;
  ExpectAnswers({
      {"a string twice", R"({"update":"first","mqtt":"m","update":"second"})", false, L"first"},
      {"a string, then an object", R"({"update":"first","update":{"update":"inner"}})", false, L"first"},
      {"null, then a string", R"({"update":null,"update":"second"})", false, L""},
      {"three times among other members",
       R"({"a":1,"update":"first","b":2,"update":"second","c":3,"update":"third","d":4})", false, L"first"},
  });
  platform::ClearDebugLog();
  const auto versions = ParseJson(LR"({"webview":{"version":"1","version":"2"},"webview":{"version":"3"}})");
  EXPECT_EQ(JsonToString(JsonMember(JsonMember(versions, L"webview"), L"version")), L"1");
  // A second member's value is still read, and refused when it is malformed.
  EXPECT_TRUE(ParseJson(LR"({"update":"first","update":[1,]})").is_null());
  EXPECT_TRUE(ParseJson(L"{\"update\":\"first\",\"update\":" + std::wstring(128, L'[') + L"]}").is_null())
      << "a second member's levels count too";
}

TEST(JsonReadingTest, MembersOfTheWrongKindGiveTheEmptyText) {
  testing_support::ScopedMachine machine;
  ExpectAnswers({
      {"a number", R"({"update":5})", false, L""},
      {"null", R"({"update":null})", false, L""},
      {"a boolean", R"({"update":true})", false, L""},
      {"an object", R"({"update":{"update":"x"}})", false, L""},
      {"an array", R"({"update":["x"]})", false, L""},
      {"an array answer", R"(["update","x"])", false, L""},
      {"a string answer", R"("update")", false, L""},
      {"a number answer", "3", false, L""},
      {"a null answer", "null", false, L""},
      {"another case", R"({"Update":"x"})", false, L""},
  });
  EXPECT_TRUE(ParseJson(L"null").is_null());
  EXPECT_TRUE(ParseJson(L"{\"a\":[]}").is_object());
}

}  // namespace
