// The archives the tests unpack are real ZIP files: Info-ZIP's unzip tests
// every entry of the test writer's archives (records, sizes, CRCs,
// encryption) and finds each of them whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scoped_machine.h"
#include "support/test_pki.h"
#include "support/zip_builder.h"
#include "support/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ZipRecord;

std::string Text(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) text += "entry line " + std::to_string(i * 7919 % 1000) + "\n";
  return text.substr(0, size);
}

ZipRecord Record(const std::string& name, const std::string& data, bool deflate) {
  ZipRecord record;
  record.name = name;
  record.data = data;
  record.deflate = deflate;
  return record;
}

class TestArchives : public testing::Test {
 protected:
  void TearDown() override { fs::remove_all(folder_); }

  // Runs "unzip -t" (with `options`) on `archive`; expects it to find no
  // error and to have tested `entries` entries.
  void ExpectUnzipAccepts(const fs::path& archive, std::size_t entries, const std::string& options = "") {
    std::string output;
    const int status =
        testing_support::RunCommand("unzip -t " + options + " " + testing_support::ShellQuote(archive.string()), &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("No errors detected"), std::string::npos) << output;
    std::size_t tested = 0;
    for (std::size_t at = output.find("testing: "); at != std::string::npos; at = output.find("testing: ", at + 1)) {
      const std::size_t lineEnd = output.find('\n', at);
      if (output.compare(lineEnd - 2, 2, "OK") == 0) ++tested;
    }
    EXPECT_EQ(tested, entries) << output;
  }

  const fs::path folder_ = testing_support::MakeTempFolder("test-archives");
};

TEST_F(TestArchives, OrdinaryStoredDeflatedAndEncryptedOnesPassUnzip) {
  const std::vector<testing_support::ZipEntry> entries = {{"top.txt", Text(70000)},
                                                          {"dir/stored.bin", Text(5000), true},
                                                          {"dir/", ""},
                                                          {"dir/empty.txt", ""},
                                                          {"dir/sub/deep.txt", "deep"}};
  ASSERT_TRUE(testing_support::WriteZip(folder_ / "plain.zip", entries));
  ExpectUnzipAccepts(folder_ / "plain.zip", entries.size());
  ASSERT_TRUE(testing_support::WriteZip(folder_ / "encrypted.zip", entries, "pa55"));
  ExpectUnzipAccepts(folder_ / "encrypted.zip", entries.size(), "-P pa55");
}

TEST_F(TestArchives, Zip64RecordsAndDataDescriptorsPassUnzip) {
  std::vector<ZipRecord> records = {Record("plain.txt", "plain", false), Record("stored64.bin", Text(70000), false),
                                    Record("deflated64.txt", Text(300000), true),
                                    Record("described.txt", Text(5000), true),
                                    Record("described64.txt", Text(9000), true), Record("zeros64.bin", "", false),
                                    Record("utf8 \xea\xb0\x80.txt", "flagged", true)};
  records[1].zip64 = records[2].zip64 = records[4].zip64 = records[5].zip64 = true;
  records[3].dataDescriptor = records[4].dataDescriptor = true;
  records[5].zeros = 100000;
  records[6].utf8Flag = true;
  ASSERT_TRUE(testing_support::WriteZipRecords(folder_ / "zip64.zip", records));
  ExpectUnzipAccepts(folder_ / "zip64.zip", records.size());
}

}  // namespace
