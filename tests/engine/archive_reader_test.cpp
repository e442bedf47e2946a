// The archive reader serves any range of the archive's bytes, whatever the
// order of the reads, and refuses ranges past its end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "engine/zip_layout.h"

namespace {

// 100,000 bytes in which each byte tells its offset apart from its
// neighbours' (a window served from the wrong place shows).
std::string Pattern() {
  std::string bytes(100000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class ArchiveReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    file_ = std::tmpfile();
    ASSERT_NE(file_, nullptr);
    ASSERT_EQ(std::fwrite(bytes_.data(), 1, bytes_.size(), file_), bytes_.size());
  }
  void TearDown() override {
    if (file_) std::fclose(file_);
  }

  // Reads every (offset, length) in turn and compares it with the bytes.
  void ReadsMatch(const std::vector<std::pair<std::uint64_t, std::size_t>>& reads) {
    ArchiveReader reader(file_);
    ASSERT_EQ(reader.Size(), bytes_.size());
    for (const auto& [offset, length] : reads) {
      std::string out(length, '\0');
      ASSERT_TRUE(reader.Read(offset, length, out.data())) << offset << "+" << length;
      EXPECT_EQ(out, bytes_.substr(offset, length)) << offset << "+" << length;
    }
  }

  const std::string bytes_ = Pattern();
  std::FILE* file_ = nullptr;
};

TEST_F(ArchiveReaderTest, ServesRecordsReadUpwardsDownwardsAndInTurn) {
  std::vector<std::pair<std::uint64_t, std::size_t>> upwards, downwards, inTurn;
  for (std::uint64_t offset = 0; offset + 46 <= 100000; offset += 997) upwards.emplace_back(offset, 46);
  for (std::uint64_t offset = 99000; offset >= 250; offset -= 250) downwards.emplace_back(offset, 30);
  // A directory read upwards near the end, local headers read downwards from
  // the middle, as an archive written in reverse order is read.
  for (std::uint64_t i = 0; i < 150; ++i) {
    inTurn.emplace_back(90000 + i * 60, 46);
    inTurn.emplace_back(50000 - i * 240, 30);
  }
  ReadsMatch(upwards);
  ReadsMatch(downwards);
  ReadsMatch(inTurn);
}

TEST_F(ArchiveReaderTest, ServesTheEdgesAndLargeReadsAndRefusesWhatIsNotThere) {
  ReadsMatch({{0, 1}, {99999, 1}, {100000 - 8192, 8192}, {5, 8193}, {40000, 30000}, {20, 10}, {0, 100000}});
  ArchiveReader reader(file_);
  char out[64];
  EXPECT_FALSE(reader.Read(99990, 11, out));
  EXPECT_FALSE(reader.Read(100001, 1, out));
  EXPECT_FALSE(reader.Read(UINT64_MAX, 2, out));
}

}  // namespace
