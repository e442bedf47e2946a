// The event record's JSON text and the upload body that carries it.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "crash/multipart_body.h"
#include "crash/sentry.h"
#include "support/scoped_machine.h"

namespace {

struct RecordRow {
  const char* name;
  const char* release;  // null: SetRelease never called
  const char* text;
};

class EventRecordTest : public ::testing::TestWithParam<RecordRow> {};

TEST_P(EventRecordTest, SerialisesCompactWithAsciiEscapes) {
  kvdump::Sentry sentry;
  if (GetParam().release != nullptr) sentry.SetRelease(GetParam().release);
  EXPECT_EQ(sentry.Serialise(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EventRecordTest,
    ::testing::Values(RecordRow{"NoRelease", nullptr, "null"},
                      RecordRow{"Version", "1.2.3.4", "{\"release\":\"1.2.3.4\"}"},
                      RecordRow{"Empty", "", "{\"release\":\"\"}"},
                      // "베타" in UTF-8.
                      RecordRow{"Korean", "3.0 \xEB\xB2\xA0\xED\x83\x80", "{\"release\":\"3.0 \\ubca0\\ud0c0\"}"},
                      // A character outside the basic plane as a surrogate pair.
                      RecordRow{"Astral", "\xF0\x9F\x98\x80", "{\"release\":\"\\ud83d\\ude00\"}"},
                      RecordRow{"Quote", "a\"b\\c", "{\"release\":\"a\\\"b\\\\c\"}"},
                      // Bytes that are not UTF-8 (CP949 text) still give a record.
                      RecordRow{"NotUtf8", "\xB9\xF6", "{\"release\":\"\\ufffd\\ufffd\"}"}),
    [](const ::testing::TestParamInfo<RecordRow>& info) { return std::string(info.param.name); });

TEST(MultipartBoundary, Has27DashesAnd16UppercaseHexDigits) {
  EXPECT_EQ(kvdump::MultipartBoundary(0x1A2B3C4D, 0x5E6F7081), "---------------------------1A2B3C4D5E6F7081");
  EXPECT_EQ(kvdump::MultipartBoundary(0, 0xF), "---------------------------000000000000000F");
  EXPECT_TRUE(std::regex_match(kvdump::RandomMultipartBoundary(), std::regex("-{27}[0-9A-F]{16}")));
}

class MultipartBodyTest : public ::testing::Test {
 protected:
  testing_support::ScopedMachine machine;
};

TEST_F(MultipartBodyTest, FieldsThenFilesByteForByte) {
  const std::wstring dump = L"C:\\Users\\Administrator\\AppData\\Local\\Temp\\0a1b.dmp";
  {
    std::ofstream out(machine.Host(dump), std::ios::binary);
    out << std::string("MDMP\0\r\n\xFF", 8);
  }
  std::string body;
  ASSERT_TRUE(kvdump::BuildMultipartBody("BOUNDARY", {{L"sentry", L"{\"release\":\"\\ubca0\"}"}},
                                         {{L"upload_file_minidump", dump}}, &body));
  const std::string expected =
      "--BOUNDARY\r\n"
      "Content-Disposition: form-data; name=\"sentry\"\r\n"
      "\r\n"
      "{\"release\":\"\\ubca0\"}\r\n"
      "--BOUNDARY\r\n"
      "Content-Disposition: form-data; name=\"upload_file_minidump\"; "
      "filename=\"C:\\Users\\Administrator\\AppData\\Local\\Temp\\0a1b.dmp\"\r\n"
      "Content-Type: application/octet-stream\r\n"
      "\r\n" +
      std::string("MDMP\0\r\n\xFF", 8) +
      "\r\n"
      "--BOUNDARY--\r\n";
  EXPECT_EQ(body, expected);
}

TEST_F(MultipartBodyTest, NonAsciiPathIsSentAsUtf8) {
  const std::wstring dump = L"C:\\Users\\\uC0AC\uC6A9\uC790\\x.dmp";  // 사용자
  std::filesystem::create_directories(machine.Host(L"C:\\Users\\\uC0AC\uC6A9\uC790"));
  std::ofstream(machine.Host(dump), std::ios::binary) << "D";
  std::string body;
  ASSERT_TRUE(kvdump::BuildMultipartBody("B", {}, {{L"f", dump}}, &body));
  EXPECT_NE(body.find("filename=\"C:\\Users\\\xEC\x82\xAC\xEC\x9A\xA9\xEC\x9E\x90\\x.dmp\""), std::string::npos) << body;
}

TEST_F(MultipartBodyTest, MissingFileIsAnErrorWithNoBody) {
  std::string body = "old";
  std::string error;
  EXPECT_FALSE(kvdump::BuildMultipartBody("B", {{L"sentry", L"null"}}, {{L"upload_file_minidump", L"C:\\nope.dmp"}},
                                          &body, &error));
  EXPECT_TRUE(body.empty());
  EXPECT_NE(error.find("C:\\nope.dmp"), std::string::npos);
}

}  // namespace
