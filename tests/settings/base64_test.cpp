// Tests of the base64 encoder and the lenient base64 decoder.
#include "settings/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

// Decodes `text` into a buffer of `capacity` bytes; returns the decoder's
// result and leaves the bytes written in `decoded`.
bool Decode(const std::string& text, std::size_t capacity, std::string* decoded) {
  std::vector<unsigned char> buffer(capacity + 1, 0xCC);
  std::size_t size = capacity;
  const bool ok = Base64Decode(text.data(), text.size(), buffer.data(), &size);
  EXPECT_LE(size, capacity);
  EXPECT_EQ(buffer[capacity], 0xCC) << "wrote past the capacity";
  decoded->assign(reinterpret_cast<const char*>(buffer.data()), size);
  return ok;
}

struct KnownText {
  std::string bytes;
  const char* base64;
};

// RFC 4648 section 10 plus bytes that use "+" and "/".
const KnownText kKnownTexts[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
    {"\xfb\xff\xbf", "+/+/"},
    {std::string("\x00\x10\x83", 3), "ABCD"},
};

TEST(Base64Test, EncodesKnownTexts) {
  for (const KnownText& row : kKnownTexts) {
    EXPECT_EQ(Base64Encode(Bytes(row.bytes), row.bytes.size()), row.base64) << row.base64;
  }
}

TEST(Base64Test, DecodesKnownTexts) {
  for (const KnownText& row : kKnownTexts) {
    std::string decoded;
    EXPECT_TRUE(Decode(row.base64, 16, &decoded)) << row.base64;
    EXPECT_EQ(decoded, row.bytes) << row.base64;
  }
}

struct LenientRow {
  std::string text;
  std::string expected;
};

TEST(Base64Test, SkipsWhatIsNotBase64AndKeepsWholeBytesOfShortGroups) {
  const LenientRow rows[] = {
      {"Zm9v\r\nYmFy", "foobar"},         // line break between groups
      {" Zm 9vY\tmF y ", "foobar"},       // spaces inside groups do not count
      {"Zm9vYmFy====", "foobar"},         // surplus padding
      {"Z=m=9=v", "foo"},                 // "=" is skipped, not an end marker
      {"Zm9vYg", "foob"},                 // 2 characters: 12 bits, one byte
      {"Zm9vYmE", "fooba"},               // 3 characters: 18 bits, two bytes
      {"Zm9vY", "foo"},                   // 1 character: no whole byte
      {"*#!~", ""},                       // nothing countable at all
      {std::string("Zm9v\0YmFy", 9), "foo"},  // NUL where a group starts ends the text
      {std::string("Zm\0" "9v", 5), "foo"},  // NUL inside a group is skipped
  };
  for (const LenientRow& row : rows) {
    std::string decoded;
    EXPECT_TRUE(Decode(row.text, 16, &decoded)) << row.text;
    EXPECT_EQ(decoded, row.expected) << row.text;
  }
}

TEST(Base64Test, StopsAtTheGivenLength) {
  const std::string text = "Zm9vYmFy";
  unsigned char buffer[8];
  std::size_t size = sizeof(buffer);
  ASSERT_TRUE(Base64Decode(text.data(), 4, buffer, &size));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), size), "foo");
  size = sizeof(buffer);
  ASSERT_TRUE(Base64Decode(text.data(), 6, buffer, &size));  // "Zm9vYm": a 2-character group
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), size), "foob");
}

TEST(Base64Test, FailsWhenTheOutputDoesNotFit) {
  std::string decoded;
  EXPECT_TRUE(Decode("Zm9vYmFy", 6, &decoded));
  EXPECT_EQ(decoded, "foobar");
  EXPECT_FALSE(Decode("Zm9vYmFy", 5, &decoded));
  EXPECT_FALSE(Decode("Zm9vYmE", 4, &decoded));  // the short last group needs 2 bytes
  EXPECT_TRUE(Decode("Zm9vYmE", 5, &decoded));
  EXPECT_FALSE(Decode("Zg==", 0, &decoded));
  EXPECT_TRUE(Decode("", 0, &decoded));
}

TEST(Base64Test, FailsOnMissingArguments) {
  unsigned char buffer[4];
  std::size_t size = sizeof(buffer);
  EXPECT_FALSE(Base64Decode(nullptr, 4, buffer, &size));
  EXPECT_FALSE(Base64Decode("Zm9v", 4, nullptr, &size));
  EXPECT_FALSE(Base64Decode("Zm9v", 4, buffer, nullptr));
}

TEST(Base64Test, RoundTripsEveryLengthOfRandomBytes) {
  std::mt19937 random(4269);
  for (std::size_t length = 0; length < 70; ++length) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string text = Base64Encode(Bytes(bytes), bytes.size());
    EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
    std::string decoded;
    ASSERT_TRUE(Decode(text, length, &decoded)) << length;
    EXPECT_EQ(decoded, bytes) << length;
  }
}

}  // namespace
