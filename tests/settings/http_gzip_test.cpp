// gzip decoding of answer bodies: whole and concatenated members, padding
// and other bytes after a member, cut and damaged bodies, and a body that
// would inflate beyond its limit.
#include "settings/http_gzip.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

// Far above the small texts these tests decode.
constexpr std::size_t kLimit = 1 << 20;

std::vector<unsigned char> Gzip(const std::string& text) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<unsigned char> out(deflateBound(&stream, text.size()) + 32);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - stream.avail_out);
  deflateEnd(&stream);
  return out;
}

TEST(GunzipBodyTest, DecodesWholeAndConcatenatedMembers) {
  std::string out, error;
  const std::string json = "{\"update\":\"http://127.0.0.1/update\",\"mqtt\":\"\xea\xb0\x80\"}";
  ASSERT_TRUE(GunzipBody(Gzip(json), &out, &error, kLimit)) << error;
  EXPECT_EQ(out, json);

  std::vector<unsigned char> two = Gzip("{\"a\":");
  const std::vector<unsigned char> second = Gzip("1}");
  two.insert(two.end(), second.begin(), second.end());
  ASSERT_TRUE(GunzipBody(two, &out, &error, kLimit)) << error;
  EXPECT_EQ(out, "{\"a\":1}");

  EXPECT_TRUE(IsGzipEncoding(" GZip "));
  EXPECT_TRUE(IsGzipEncoding("x-gzip"));
  EXPECT_FALSE(IsGzipEncoding("deflate"));
  EXPECT_FALSE(IsGzipEncoding(""));
}

std::vector<unsigned char> Joined(std::vector<unsigned char> first, const std::vector<unsigned char>& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

TEST(GunzipBodyTest, BytesAfterACompleteMemberAsGzipTreatsThem) {
  const std::string json = "{\"update\":\"http://127.0.0.1/u\"}";
  const std::vector<unsigned char> member = Gzip(json);
  struct Row {
    const char* what;
    std::vector<unsigned char> body;
    std::string text;
  };
  const Row rows[] = {
      {"one zero byte of padding", Joined(member, {0}), json},
      {"a block of zero padding", Joined(member, std::vector<unsigned char>(4096, 0)), json},
      {"a second member, then padding", Joined(Joined(member, Gzip("[2]")), std::vector<unsigned char>(7, 0)),
       json + "[2]"},
      {"a third member", Joined(Joined(member, Gzip("a")), Gzip("b")), json + "ab"},
      {"an empty second member", Joined(member, Gzip("")), json},
      {"trailing bytes that start no member", Joined(member, {'x', 'y', 'z', '\n'}), json},
  };
  for (const Row& row : rows) {
    std::string out = "stale", error;
    EXPECT_TRUE(GunzipBody(row.body, &out, &error, kLimit)) << row.what << ": " << error;
    EXPECT_EQ(out, row.text) << row.what;
  }
}

TEST(GunzipBodyTest, ADamagedOrCutMemberAfterTheFirstStillFails) {
  const std::vector<unsigned char> first = Gzip("{\"a\":1}");
  std::vector<unsigned char> second = Gzip(std::string(5000, 'y'));
  std::vector<unsigned char> damaged = second;
  damaged[damaged.size() - 6] ^= 0xFF;  // its CRC
  std::vector<unsigned char> cut(second.begin(), second.begin() + static_cast<long>(second.size() / 2));
  for (const auto& tail : {damaged, cut, std::vector<unsigned char>{0x1f, 0x8b}}) {
    std::string out = "stale", error;
    EXPECT_FALSE(GunzipBody(Joined(first, tail), &out, &error, kLimit)) << tail.size();
    EXPECT_EQ(out, "");
    EXPECT_FALSE(error.empty());
  }
  // Padding zeros are no licence for garbage inside the first member.
  std::vector<unsigned char> firstDamaged = first;
  firstDamaged[first.size() / 2] ^= 0x55;
  std::string out, error;
  EXPECT_FALSE(GunzipBody(Joined(firstDamaged, {0, 0, 0}), &out, &error, kLimit));
}

TEST(GunzipBodyTest, CutDamagedAndOversizedBodiesFailWithNoText) {
  const std::string text(200000, 'x');
  const std::vector<unsigned char> whole = Gzip(text);
  std::string out = "stale", error;

  std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
  EXPECT_FALSE(GunzipBody(cut, &out, &error, kLimit));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(error.empty());

  std::vector<unsigned char> damaged = whole;
  damaged[damaged.size() - 6] ^= 0xFF;  // the CRC of the trailer
  error.clear();
  EXPECT_FALSE(GunzipBody(damaged, &out, &error, kLimit));
  EXPECT_FALSE(error.empty());

  EXPECT_FALSE(GunzipBody({'n', 'o', 't', ' ', 'g', 'z'}, &out, &error, kLimit));

  // 200,000 bytes inflate fine under a limit of exactly that, not one under it.
  ASSERT_TRUE(GunzipBody(whole, &out, &error, text.size())) << error;
  EXPECT_EQ(out.size(), text.size());
  error.clear();
  EXPECT_FALSE(GunzipBody(whole, &out, &error, text.size() - 1));
  EXPECT_EQ(out, "");
  EXPECT_NE(error.find("expands beyond"), std::string::npos) << error;
}

}  // namespace
