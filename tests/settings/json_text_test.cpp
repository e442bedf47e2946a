// The JSON text of request bodies built in code, byte for byte as the agent
// server has always received them, and what the reader hands back when it
// refuses a text.
#include "settings/json_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

TEST(JsonTextTest, StringsKeepEveryByteButControlCharactersQuotesAndBackslashes) {
  EXPECT_EQ(WriteJsonText(JsonValue("\x01\x1F\"\\/\b\f\n\r\t\x7F\xC3\xA9\xFF\xED\xA0\x80")),
            R"("\u0001\u001F\"\\/\b\f\n\r\t)"
            "\x7F\xC3\xA9\xFF\xED\xA0\x80\"")
      << "bytes that are no UTF-8 go out as they are";
  EXPECT_EQ(WriteJsonText(JsonValue("")), "\"\"");
  const JsonValue names = {{"\xFF", 1}, {"", 2}, {"\x7F", 3}, {"a\x01", nullptr}};
  EXPECT_EQ(WriteJsonText(names), "{\"\":2,\"a\\u0001\":null,\"\x7F\":3,\"\xFF\":1}");
}

TEST(JsonTextTest, NumbersAsTheyWereAlwaysWritten) {
  const JsonValue numbers = {-0.0,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             1e300,
                             1e-7,
                             1e17,
                             0.1 + 0.2,
                             5e-324,
                             100.0,
                             std::numeric_limits<std::uint64_t>::max(),
                             std::numeric_limits<std::int64_t>::min(),
                             7,
                             ""};
  EXPECT_EQ(WriteJsonText(numbers),
            "[-0,inf,-inf,nan,1.0000000000000001e+300,9.9999999999999995e-08,1e+17,0.30000000000000004,"
            "4.9406564584124654e-324,100,18446744073709551615,-9223372036854775808,7,\"\"]");
}

TEST(JsonTextTest, ARefusedTextLeavesNullAndItsReason) {
  struct Row {
    std::string text;
    const char* reason;  // a part of the reason given
  } rows[] = {{"[1,]", "parse error"},
              {"{\"a\":1e999}", "number overflow"},
              {"\xEF\xBB\xBF[]", "byte order mark"},
              {std::string(kMaxJsonNesting + 1, '['), "deeper than 128 levels"}};
  for (const Row& row : rows) {
    JsonValue value = {{"earlier", true}};
    std::string error;
    EXPECT_FALSE(ReadJsonText(row.text, &value, &error)) << row.text;
    EXPECT_TRUE(value.is_null()) << row.text;
    EXPECT_NE(error.find(row.reason), std::string::npos) << row.text << ": " << error;
  }
  JsonValue value;
  std::string error;
  EXPECT_TRUE(ReadJsonText(std::string(kMaxJsonNesting, '[') + std::string(kMaxJsonNesting, ']'), &value, &error))
      << error;
  EXPECT_EQ(WriteJsonText(value), std::string(kMaxJsonNesting, '[') + std::string(kMaxJsonNesting, ']'));
}

}  // namespace
