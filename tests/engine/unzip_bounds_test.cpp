// ZIP unpacking against hostile and huge archives: entries whose records
// overlap (archive bombs) are refused before anything is written, no entry
// yields more or fewer bytes than it declares, zip64 entries are unpacked
// whole beyond 4 GiB, and a full disk fails the archive.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/unzip_archive.h"
#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/sim/machine/faults.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"
#include "support/zip_builder.h"
#include "support/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadHostFile;
using testing_support::ZipRecord;

const wchar_t kArchive[] = L"C:\\in\\archive.zip";
const wchar_t kDestination[] = L"C:\\out\\dest";

std::string Text(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) text += "record " + std::to_string(i * 7919 % 1000) + "\n";
  return text.substr(0, size);
}

ZipRecord Record(const std::string& name, const std::string& data, bool deflate = false) {
  ZipRecord record;
  record.name = name;
  record.data = data;
  record.deflate = deflate;
  return record;
}

class UnzipBounds : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::create_directories(Host(kDestination)));
    platform::ClearDebugLog();
  }
  void Build(const std::vector<ZipRecord>& records) {
    ASSERT_TRUE(testing_support::WriteZipRecords(Host(kArchive), records));
  }
  win::BOOL Unzip() { return UnzipArchive(kArchive, kDestination, L""); }
  fs::path Host(const std::wstring& path) { return machine_.Host(path); }
  fs::path Output(const std::string& name) { return Host(kDestination) / name; }
  bool Logged(const std::wstring& line) {
    const std::vector<std::wstring> log = platform::ReadDebugLog();
    return std::find(log.begin(), log.end(), line) != log.end();
  }

  testing_support::ScopedMachine machine_{"win10-x64"};
};

TEST_F(UnzipBounds, UnpacksZip64RecordsStoredDeflatedAndWithDescriptors) {
  std::vector<ZipRecord> records = {Record("plain.txt", "plain"), Record("stored64.bin", Text(70000)),
                                    Record("deflated64.txt", Text(300000), true), Record("described.txt", Text(5000), true),
                                    Record("last.txt", "last")};
  records[1].zip64 = records[2].zip64 = true;
  records[3].dataDescriptor = true;
  Build(records);
  ASSERT_EQ(Unzip(), win::TRUE);
  for (const ZipRecord& record : records) EXPECT_EQ(ReadHostFile(Output(record.name)), record.data) << record.name;
}

// Counts what is written into a named pipe at `path`, so that an entry of
// gigabytes can be unpacked without taking the disk space. The bytes are
// moved on to /dev/null inside the kernel.
class PipeCounter {
 public:
  explicit PipeCounter(const fs::path& path) : path_(path) {
    ready_ = ::mkfifo(path.c_str(), 0600) == 0;
    if (ready_) reader_ = std::thread([this] { Drain(); });
  }
  // Ends the reading (also when nothing ever opened the pipe) and returns
  // the number of bytes read.
  std::uint64_t Finish() {
    if (!ready_) return 0;
    // Opening the pipe for both (which never waits) and closing it again
    // releases a reader still waiting for a writer.
    const int both = ::open(path_.c_str(), O_RDWR);
    if (both >= 0) ::close(both);
    reader_.join();
    return count_;
  }
  bool Ready() const { return ready_; }

 private:
  void Drain() {
    const int fd = ::open(path_.c_str(), O_RDONLY);
    const int sink = ::open("/dev/null", O_WRONLY);
    if (fd >= 0 && sink >= 0) {
      ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);  // fewer switches between writer and reader
      ssize_t n;
      while ((n = ::splice(fd, nullptr, sink, nullptr, 1 << 20, SPLICE_F_MOVE)) > 0) {
        count_ += static_cast<std::uint64_t>(n);
      }
    }
    if (fd >= 0) ::close(fd);
    if (sink >= 0) ::close(sink);
  }

  fs::path path_;
  bool ready_ = false;
  std::thread reader_;
  std::uint64_t count_ = 0;
};

TEST_F(UnzipBounds, UnpacksAZip64EntryBeyondFourGibibytesWhole) {
  // Left as a hole in the archive file; unpacked into a pipe that counts it.
  const std::uint64_t size = (std::uint64_t{1} << 32) + 4096 + 1;
  ZipRecord huge;
  huge.name = "huge.bin";
  huge.zeros = size;
  huge.zip64 = true;
  ZipRecord after = Record("after.txt", "after the huge one", true);
  after.zip64 = true;  // its local header lies beyond 4 GiB
  Build({huge, after});
  PipeCounter pipe(Output("huge.bin"));
  ASSERT_TRUE(pipe.Ready());
  const win::BOOL result = Unzip();
  EXPECT_EQ(pipe.Finish(), size);
  EXPECT_EQ(result, win::TRUE);  // the CRC of all its bytes matched
  EXPECT_EQ(ReadHostFile(Output("after.txt")), "after the huge one");
}

struct OverlapRow {
  const char* what;
  std::vector<ZipRecord> (*records)();
};

class OverlappingEntries : public UnzipBounds, public testing::WithParamInterface<OverlapRow> {};

TEST_P(OverlappingEntries, AreRefusedBeforeAnythingIsWritten) {
  Build(GetParam().records());
  EXPECT_EQ(Unzip(), win::FALSE) << GetParam().what;
  EXPECT_TRUE(fs::is_empty(Host(kDestination))) << GetParam().what;
  EXPECT_TRUE(Logged(L"[Brimvale] BVLInstall : Unzip Refused Entry - second.txt")) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, OverlappingEntries,
    testing::Values(
        OverlapRow{"two entries of one local record",
                   [] {
                     std::vector<ZipRecord> records = {Record("first.txt", Text(50000), true),
                                                       Record("second.txt", Text(50000), true)};
                     records[1].sharesLocalRecordOf = 0;
                     return records;
                   }},
        OverlapRow{"a local record inside another entry's data",
                   [] {
                     // The classic bomb: each entry's stored data quotes the next entry.
                     ZipRecord inner = Record("second.txt", Text(80000), true);
                     inner.insideDataOf = 0;
                     ZipRecord outer = Record("first.txt", "head " + testing_support::LocalRecord(inner) + " tail");
                     return std::vector<ZipRecord>{outer, inner};
                   }},
        OverlapRow{"zip64 records sharing data",
                   [] {
                     std::vector<ZipRecord> records = {Record("first.txt", Text(50000)), Record("second.txt", Text(50000))};
                     records[0].zip64 = records[1].zip64 = true;
                     records[1].sharesLocalRecordOf = 0;
                     return records;
                   }}),
    [](const testing::TestParamInfo<OverlapRow>& info) { return "Row" + std::to_string(info.index); });

struct DeclaredRow {
  const char* what;
  bool deflate;
  bool zip64;
  std::int64_t declaredChange;  // added to the real size
};

class DeclaredSize : public UnzipBounds, public testing::WithParamInterface<DeclaredRow> {};

TEST_P(DeclaredSize, BoundsWhatAnEntryYields) {
  const DeclaredRow& row = GetParam();
  const std::string data = Text(200000);
  ZipRecord record = Record("entry.txt", data, row.deflate);
  record.zip64 = row.zip64;
  const std::uint64_t declared = static_cast<std::uint64_t>(static_cast<std::int64_t>(data.size()) + row.declaredChange);
  record.declaredSize = declared;
  Build({record, Record("last.txt", "last")});
  EXPECT_EQ(Unzip(), win::FALSE) << row.what;
  std::error_code missing;
  const std::uintmax_t written = fs::file_size(Output("entry.txt"), missing);
  if (!missing) {
    EXPECT_LE(written, declared) << row.what;
  }
  EXPECT_FALSE(fs::exists(Output("last.txt"))) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeclaredSize,
    testing::Values(DeclaredRow{"deflated, declares less", true, false, -199000},
                    DeclaredRow{"deflated, declares more: the stream ends early", true, false, 1000},
                    DeclaredRow{"zip64 deflated, declares less", true, true, -199000},
                    DeclaredRow{"zip64 deflated, declares more", true, true, 1000},
                    DeclaredRow{"zip64 stored, declares less", false, true, -199000},
                    // The size plus this is -1: the records declare 2^64 - 1.
                    DeclaredRow{"zip64 deflated, declares the largest size", true, true, -200001}),
    [](const testing::TestParamInfo<DeclaredRow>& info) { return "Row" + std::to_string(info.index); });

struct WrongCrcRow {
  const char* what;
  bool deflate;
  bool zip64;
};

class WrongCrc : public UnzipBounds, public testing::WithParamInterface<WrongCrcRow> {};

TEST_P(WrongCrc, FailsTheArchive) {
  const WrongCrcRow& row = GetParam();
  ZipRecord record = Record("entry.txt", Text(100000), row.deflate);
  record.zip64 = row.zip64;
  record.declaredCrc = 0x12345678;  // not the CRC of that text
  Build({Record("first.txt", "first"), record, Record("last.txt", "last")});
  EXPECT_EQ(Unzip(), win::FALSE) << row.what;
  EXPECT_FALSE(fs::exists(Output("last.txt"))) << row.what;
}

INSTANTIATE_TEST_SUITE_P(Rows, WrongCrc,
                         testing::Values(WrongCrcRow{"stored", false, false}, WrongCrcRow{"deflated", true, false},
                                         WrongCrcRow{"zip64 stored", false, true},
                                         WrongCrcRow{"zip64 deflated", true, true}),
                         [](const testing::TestParamInfo<WrongCrcRow>& info) { return "Row" + std::to_string(info.index); });

// Methods other than stored and deflated: shrunk, deflate64, bzip2, LZMA,
// Zstandard, AES encryption. The data is only stored, but no such entry may
// be unpacked, and none is even partly written.
class OtherMethod : public UnzipBounds, public testing::WithParamInterface<int> {};

TEST_P(OtherMethod, IsRefusedBeforeAnythingIsWritten) {
  ZipRecord packed = Record("packed.bin", Text(5000));
  packed.declaredMethod = static_cast<std::uint16_t>(GetParam());
  Build({Record("first.txt", "first"), packed, Record("last.txt", "last")});
  EXPECT_EQ(Unzip(), win::FALSE);
  EXPECT_TRUE(fs::is_empty(Host(kDestination)));
  EXPECT_EQ(platform::ReadDebugLog(),
            std::vector<std::wstring>{L"[Brimvale] BVLInstall : Unzip Refused Entry - packed.bin"});
}

INSTANTIATE_TEST_SUITE_P(Methods, OtherMethod, testing::Values(1, 9, 12, 14, 93, 99));

// A local header must repeat its directory record. The changes keep the data
// where it was, so only that comparison can find them.
struct LocalHeaderRow {
  const char* what;
  bool zip64;
  void (*damage)(std::string& archive, std::size_t header);  // `header`: the second entry's local header
};

class DisagreeingLocalHeader : public UnzipBounds, public testing::WithParamInterface<LocalHeaderRow> {};

TEST_P(DisagreeingLocalHeader, FailsTheArchiveBeforeAnythingIsWritten) {
  const LocalHeaderRow& row = GetParam();
  ZipRecord second = Record("second.txt", Text(20000), true);
  second.zip64 = row.zip64;
  Build({Record("first.txt", "first"), second});
  std::string archive = ReadHostFile(Host(kArchive));
  const std::size_t header = archive.find(std::string("PK\x03\x04", 4), 1);
  ASSERT_NE(header, std::string::npos);
  row.damage(archive, header);
  ASSERT_TRUE(testing_support::WriteHostFile(Host(kArchive), archive));
  EXPECT_EQ(Unzip(), win::FALSE) << row.what;
  EXPECT_TRUE(fs::is_empty(Host(kDestination))) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DisagreeingLocalHeader,
    testing::Values(LocalHeaderRow{"CRC", false, [](std::string& a, std::size_t h) { a[h + 14] ^= 0x01; }},
                    LocalHeaderRow{"compressed size", false, [](std::string& a, std::size_t h) { a[h + 18] ^= 0x01; }},
                    LocalHeaderRow{"uncompressed size", false, [](std::string& a, std::size_t h) { a[h + 22] ^= 0x01; }},
                    LocalHeaderRow{"zip64: a longer name, a shorter extra field", true,
                                   [](std::string& a, std::size_t h) {
                                     ++a[h + 26];
                                     --a[h + 28];
                                   }}),
    [](const testing::TestParamInfo<LocalHeaderRow>& info) { return "Row" + std::to_string(info.index); });

TEST_F(UnzipBounds, RefusesADirectoryOfMoreRecordsThanItsEndRecordCounts) {
  // As a writer without zip64 records counts 65,537 entries: as 1.
  Build({Record("first.txt", "first"), Record("second.txt", "second")});
  std::string archive = ReadHostFile(Host(kArchive));
  const std::size_t end = archive.size() - 22;
  ASSERT_EQ(archive.compare(end, 4, "PK\x05\x06"), 0);
  archive[end + 8] = archive[end + 10] = 1;  // entries on this disk, and in all
  ASSERT_TRUE(testing_support::WriteHostFile(Host(kArchive), archive));
  EXPECT_EQ(Unzip(), win::FALSE);
  EXPECT_TRUE(fs::is_empty(Host(kDestination)));
}

struct DiskFullRow {
  const char* what;
  std::string data;
  bool zip64;
};

class FullDisk : public UnzipBounds, public testing::WithParamInterface<DiskFullRow> {};

TEST_P(FullDisk, FailsTheArchive) {
  const DiskFullRow& row = GetParam();
  ZipRecord record = Record("full.bin", row.data, true);
  record.zip64 = row.zip64;
  Build({Record("first.txt", "first"), record, Record("last.txt", "last")});
  const std::wstring output = std::wstring(kDestination) + L"\\full.bin";
  platform::InjectFault({"fwrite", output, win::ERROR_WRITE_FAULT});
  EXPECT_EQ(Unzip(), win::FALSE) << row.what;
  EXPECT_TRUE(Logged(L"[Brimvale] BVLInstall : Unzip Write Fail - " + output)) << row.what;
  EXPECT_FALSE(fs::exists(Output("last.txt"))) << row.what;
}

INSTANTIATE_TEST_SUITE_P(Rows, FullDisk,
                         testing::Values(DiskFullRow{"small: fails when the stream is closed", "tiny", false},
                                         DiskFullRow{"large: fails on a write", Text(3 << 20), false},
                                         DiskFullRow{"zip64", Text(3 << 20), true}),
                         [](const testing::TestParamInfo<DiskFullRow>& info) { return "Row" + std::to_string(info.index); });

}  // namespace
