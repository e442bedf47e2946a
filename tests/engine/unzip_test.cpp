// ZIP unpacking: entries and folders land below the destination, hostile
// names are refused before anything of them is written, and damaged,
// truncated or wrongly decrypted archives fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "engine/entry_names.h"
#include "engine/unzip_archive.h"
#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/sim/files/file_marks.h"
#include "platform/files.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"
#include "support/test_pki.h"
#include "support/zip_builder.h"
#include "support/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadHostFile;
using testing_support::WriteHostFile;
using testing_support::ZipEntry;

const wchar_t kArchive[] = L"C:\\in\\archive.zip";
const wchar_t kDestination[] = L"C:\\out\\dest";

std::string Text(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
  return text.substr(0, size);
}

class Unzip : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(win::SHCreateDirectory(nullptr, kDestination), 0);
    ASSERT_EQ(win::SHCreateDirectory(nullptr, L"C:\\in"), 0);
    before_ = AllFiles();
    platform::ClearDebugLog();
  }

  void Write(const std::vector<ZipEntry>& entries, const std::string& password = {}) {
    ASSERT_TRUE(testing_support::WriteZip(Host(kArchive), entries, password));
  }

  fs::path Host(const std::wstring& path) { return machine_.Host(path); }
  std::string Output(const std::string& relative) { return ReadHostFile(Host(kDestination) / relative); }

  // Every file and folder on drive C:, as host paths.
  std::set<fs::path> AllFiles() {
    std::set<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(machine_.Root() / "drive_c")) files.insert(entry.path());
    return files;
  }

  // What appeared since SetUp, outside the destination and the input folder.
  std::vector<fs::path> WrittenOutside() {
    std::vector<fs::path> outside;
    const std::string destination = Host(kDestination).string() + "/";
    const std::string input = Host(L"C:\\in").string() + "/";
    for (const fs::path& file : AllFiles()) {
      const std::string text = file.string();
      if (before_.count(file) || text.rfind(destination, 0) == 0 || text.rfind(input, 0) == 0) continue;
      outside.push_back(file);
    }
    return outside;
  }

  testing_support::ScopedMachine machine_{"win10-x64"};
  std::set<fs::path> before_;
};

TEST_F(Unzip, WritesEntriesAndCreatesTheirFolders) {
  Write({{"top.txt", "top"},
         {"a/b/c/deep.txt", "deep", true},
         {"folder/", ""},
         {"folder/inner/", ""},
         {"a/./dot.txt", "dot"},
         {"name..with..dots.txt", "dots"},
         {".profile", "hidden"}});
  ASSERT_EQ(UnzipArchive(kArchive, kDestination, L""), win::TRUE);
  EXPECT_EQ(Output("top.txt"), "top");
  EXPECT_EQ(Output("a/b/c/deep.txt"), "deep");
  EXPECT_EQ(Output("a/dot.txt"), "dot");
  EXPECT_EQ(Output("name..with..dots.txt"), "dots");
  EXPECT_EQ(Output(".profile"), "hidden");
  EXPECT_TRUE(fs::is_directory(Host(kDestination) / "folder" / "inner"));
  EXPECT_TRUE(WrittenOutside().empty());
}

TEST_F(Unzip, StreamsALargeEntryWholeAndReplacesAnOldFile) {
  std::string big(3 * 1048576 + 17, '\0');
  std::mt19937 random(7);
  for (char& c : big) c = static_cast<char>(random());
  ASSERT_TRUE(WriteHostFile(Host(kDestination) / "big.bin", "old content that is longer than nothing"));
  Write({{"big.bin", big}, {"after.txt", "after"}});
  ASSERT_EQ(UnzipArchive(kArchive, kDestination, L""), win::TRUE);
  EXPECT_EQ(Output("big.bin"), big);
  EXPECT_EQ(Output("after.txt"), "after");
}

TEST_F(Unzip, TakesNamesAndPathsInTheAnsiCodePage) {
  const std::wstring archive = L"C:\\in\\\uC784\uC2DC.zip";  // a Korean file name, CP949 on this machine
  ASSERT_TRUE(testing_support::WriteZip(Host(archive), {{"\xb9\xf6\xc0\xfc/\xb9\xf6\xc0\xfc.txt", "ko"}}));
  ASSERT_EQ(UnzipArchive(archive, kDestination, L""), win::TRUE);
  EXPECT_EQ(Output("\xeb\xb2\x84\xec\xa0\x84/\xeb\xb2\x84\xec\xa0\x84.txt"), "ko");  // UTF-8 on the host
}

TEST_F(Unzip, AnArchivePathTheAnsiCodePageCannotHoldIsNotFound) {
  // An emoji has no CP949 form: the archive's name does not survive the
  // conversion to the ANSI code page that its opening takes.
  const std::wstring archive = L"C:\\in\\\U0001F600.zip";
  ASSERT_TRUE(testing_support::WriteZip(Host(archive), {{"a.txt", "a"}}));
  EXPECT_EQ(UnzipArchive(archive, kDestination, L""), win::FALSE);
  EXPECT_FALSE(fs::exists(Host(kDestination) / "a.txt"));
}

TEST_F(Unzip, TakesNamesFlaggedAsUtf8InUtf8) {
  // Bit 11 as Python's zipfile and other current tools set it for names
  // beyond ASCII; the names are not all representable in CP949.
  ASSERT_TRUE(testing_support::WriteZipRecords(
      Host(kArchive), {{"\xeb\xb2\x84\xec\xa0\x84/\xeb\xb2\x84\xec\xa0\x84.txt", "ko", false, true},
                       {"\xf0\x9f\x98\x80 caf\xc3\xa9.txt", "emoji", true, true},
                       {"\xb9\xf6\xc0\xfc.txt", "ansi"}}));
  ASSERT_EQ(UnzipArchive(kArchive, kDestination, L""), win::TRUE);
  EXPECT_EQ(Output("\xeb\xb2\x84\xec\xa0\x84/\xeb\xb2\x84\xec\xa0\x84.txt"), "ko");
  EXPECT_EQ(Output("\xf0\x9f\x98\x80 caf\xc3\xa9.txt"), "emoji");
  EXPECT_EQ(Output("\xeb\xb2\x84\xec\xa0\x84.txt"), "ansi");  // unflagged: still the ANSI code page
  EXPECT_TRUE(WrittenOutside().empty());
}

TEST_F(Unzip, AnArchiveWithoutEntriesUnpacksToNothing) {
  // The empty archive after a stub, as in a self-extracting one.
  const std::string empty = testing_support::ZipBytes({});
  ASSERT_EQ(empty.size(), 22u);
  ASSERT_TRUE(WriteHostFile(Host(kArchive), "MZ stub of a self-extractor" + empty));
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::TRUE);
  EXPECT_TRUE(fs::is_empty(Host(kDestination)));
}

TEST_F(Unzip, AnArchiveThatIsOnlyItsEndRecordUnpacksToNothing) {
  // What Python's zipfile and other writers make for no entries: the 22-byte
  // end record alone, at the very start of the file; then with a comment.
  const std::string empty = testing_support::ZipBytes({});
  ASSERT_EQ(empty.size(), 22u);
  std::string commented = empty;
  commented[20] = 7;
  commented += "comment";
  for (const std::string& archive : {empty, commented}) {
    ASSERT_TRUE(WriteHostFile(Host(kArchive), archive));
    EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::TRUE) << archive.size();
    EXPECT_TRUE(fs::is_empty(Host(kDestination)));
  }
}

TEST_F(Unzip, AnEndRecordAloneThatClaimsEntriesFails) {
  std::string claims = testing_support::ZipBytes({});
  claims[8] = claims[10] = 1;  // one entry on this disk and in all
  ASSERT_TRUE(WriteHostFile(Host(kArchive), claims));
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE);
  ASSERT_TRUE(WriteHostFile(Host(kArchive), std::string(22, '\0')));
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE);
}

TEST_F(Unzip, FailsOnAnEncryptedEntry) {
  // The component archives are never encrypted; an encrypted entry read
  // without its key is garbage and must not be installed.
  Write({{"secret.txt", Text(20000)}}, "pa55");
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE);
}

TEST_F(Unzip, RefusesAnEncryptedEntryWithoutItsPasswordBeforeAnythingIsWritten) {
  std::vector<testing_support::ZipRecord> records(3);
  records[0].name = "first.txt";
  records[0].data = "first";
  records[1].name = "secret.txt";
  records[1].data = Text(20000);
  records[1].deflate = true;
  records[1].password = "pa55";
  records[2].name = "last.txt";
  records[2].data = "last";
  ASSERT_TRUE(testing_support::WriteZipRecords(Host(kArchive), records));
  for (const wchar_t* password : {L"", L"wrong"}) {
    platform::ClearDebugLog();
    EXPECT_EQ(UnzipArchive(kArchive, kDestination, password), win::FALSE) << password;
    EXPECT_TRUE(fs::is_empty(Host(kDestination))) << password;
    EXPECT_EQ(platform::ReadDebugLog(),
              std::vector<std::wstring>{L"[Brimvale] BVLInstall : Unzip Refused Entry - secret.txt"})
        << password;
  }
}

TEST_F(Unzip, OpensEncryptedEntriesWithTheirPassword) {
  // Info-ZIP's zip gives its encrypted entries data descriptors (the check
  // byte is then the time's); the test writer does not (the CRC's).
  const fs::path source = testing_support::MakeTempFolder("zip-source");
  ASSERT_TRUE(WriteHostFile(source / "a.txt", Text(30000)));
  ASSERT_TRUE(WriteHostFile(source / "d" / "b.txt", "inner"));
  std::string output;
  const int zipped = testing_support::RunCommand("cd " + testing_support::ShellQuote(source.string()) +
                                                     " && zip -q -P pa55 " +
                                                     testing_support::ShellQuote(Host(kArchive).string()) +
                                                     " a.txt d/b.txt",
                                                 &output);
  fs::remove_all(source);
  ASSERT_EQ(zipped, 0) << output;
  ASSERT_EQ(UnzipArchive(kArchive, kDestination, L"pa55"), win::TRUE);
  EXPECT_EQ(Output("a.txt"), Text(30000));
  EXPECT_EQ(Output("d/b.txt"), "inner");

  Write({{"c.txt", Text(40000)}, {"e.txt", "stored", true}}, "pa55");
  ASSERT_EQ(UnzipArchive(kArchive, kDestination, L"pa55"), win::TRUE);
  EXPECT_EQ(Output("c.txt"), Text(40000));
  EXPECT_EQ(Output("e.txt"), "stored");
}

TEST_F(Unzip, FailsWhenAFileEntryCannotBeWritten) {
  // A program of the previous installation still running holds its file.
  ASSERT_TRUE(WriteHostFile(Host(kDestination) / "inuse.dll", "old"));
  ASSERT_TRUE(platform::LockFile(std::wstring(kDestination) + L"\\inuse.dll"));
  Write({{"first.txt", "first"}, {"inuse.dll", "new"}, {"last.txt", "last"}});
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE);
  EXPECT_EQ(Output("first.txt"), "first");
  EXPECT_EQ(Output("inuse.dll"), "old");
  EXPECT_FALSE(fs::exists(Host(kDestination) / "last.txt"));
  const auto log = platform::ReadDebugLog();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      L"[Brimvale] BVLInstall : Unzip Write Fail - " + std::wstring(kDestination) + L"\\inuse.dll"),
            log.end());
}

TEST_F(Unzip, FailsOnAMissingArchive) {
  EXPECT_EQ(UnzipArchive(L"C:\\in\\none.zip", kDestination, L""), win::FALSE);
  EXPECT_EQ(UnzipArchive(L"Q:\\none.zip", kDestination, L""), win::FALSE);
}

class HostileName : public Unzip, public testing::WithParamInterface<std::string> {};

TEST_P(HostileName, IsRefusedBeforeAnythingOfItIsWritten) {
  const std::string name = GetParam();
  Write({{"first.txt", "first"}, {name, "escaped"}, {"last.txt", "last"}});
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE);
  EXPECT_EQ(WrittenOutside(), std::vector<fs::path>());
  EXPECT_FALSE(fs::exists(Host(kDestination) / "last.txt"));
  const std::vector<std::wstring> log = platform::ReadDebugLog();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      L"[Brimvale] BVLInstall : Unzip Refused Entry - " + platform::Utf8ToWide(name)),
            log.end());
}

INSTANTIATE_TEST_SUITE_P(Names, HostileName,
                         testing::Values("../x", "..\\x", "a/../../x", "a/b/../../../x", "..", "/x", "\\x",
                                         "/in/planted.txt", "C:x", "C:\\x", "c:/x", "a/b:c", ".. /x", "a/.../x",
                                         "a/. ./x"));

// Names Windows cannot hold as written: a device name opens the device in any
// folder, a trailing dot or space is dropped (writing another name), and the
// other characters fail or name a stream. `logged` is the name as the refusal
// line shows it, control characters escaped.
struct WindowsNameRow {
  std::string name;
  std::wstring logged;
};

class NotAWindowsName : public Unzip, public testing::WithParamInterface<WindowsNameRow> {};

TEST_P(NotAWindowsName, IsRefusedBeforeAnythingIsWritten) {
  const WindowsNameRow& row = GetParam();
  Write({{"first.txt", "first"}, {row.name, "device"}, {"last.txt", "last"}});
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE);
  // Nothing at all: the names are checked before the first entry is written.
  EXPECT_TRUE(fs::is_empty(Host(kDestination)));
  EXPECT_EQ(WrittenOutside(), std::vector<fs::path>());
  EXPECT_EQ(platform::ReadDebugLog(), std::vector<std::wstring>{L"[Brimvale] BVLInstall : Unzip Refused Entry - " + row.logged});
}

INSTANTIATE_TEST_SUITE_P(
    Names, NotAWindowsName,
    testing::Values(WindowsNameRow{"CON", L"CON"}, WindowsNameRow{"COM1", L"COM1"}, WindowsNameRow{"LPT1.dll", L"LPT1.dll"},
                    WindowsNameRow{"NUL.txt", L"NUL.txt"}, WindowsNameRow{"AUX/x.txt", L"AUX/x.txt"},
                    WindowsNameRow{"AUX\\x.txt", L"AUX\\x.txt"}, WindowsNameRow{"dir/prn", L"dir/prn"},
                    WindowsNameRow{"lpt9.tar.gz", L"lpt9.tar.gz"}, WindowsNameRow{"Nul .txt", L"Nul .txt"},
                    WindowsNameRow{"aux/", L"aux/"}, WindowsNameRow{"name.", L"name."},
                    WindowsNameRow{"name ", L"name "}, WindowsNameRow{"dir./x.txt", L"dir./x.txt"},
                    WindowsNameRow{"dir /x.txt", L"dir /x.txt"}, WindowsNameRow{"a<b", L"a<b"},
                    WindowsNameRow{"a>b", L"a>b"}, WindowsNameRow{"a\"b", L"a\"b"}, WindowsNameRow{"a|b", L"a|b"},
                    WindowsNameRow{"a?b", L"a?b"}, WindowsNameRow{"a*b", L"a*b"},
                    WindowsNameRow{"tab\there", L"tab\\there"},
                    WindowsNameRow{"x\r\n\x1b[2J[Brimvale] fake.txt", L"x\\r\\n\\x1B[2J[Brimvale] fake.txt"}));

TEST_F(Unzip, NamesThatOnlyResembleDevicesAreWritten) {
  const std::vector<std::string> names = {"CONSOLE.txt", "com10.txt", "lpt0", "nul_", "auxiliary/x.txt",
                                          "COM",         "prn-list",  "a.con", "dir.d/con_", ". hidden"};
  std::vector<ZipEntry> entries;
  for (const std::string& name : names) entries.push_back({name, name});
  Write(entries);
  ASSERT_EQ(UnzipArchive(kArchive, kDestination, L""), win::TRUE);
  for (const std::string& name : names) EXPECT_EQ(Output(name), name);
}

TEST_F(Unzip, ARefusedNameCannotWriteALineOfItsOwn) {
  Write({{"../x\r\n[Brimvale] fake line", "escaped"}});
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE);
  EXPECT_EQ(platform::ReadDebugLog(),
            std::vector<std::wstring>{L"[Brimvale] BVLInstall : Unzip Refused Entry - ../x\\r\\n[Brimvale] fake line"});
}

TEST_F(Unzip, RefusesANameLongerThanItsBufferInsteadOfCuttingIt) {
  std::string fits;
  while (fits.size() < 256) fits += "dir/";
  fits += "file";  // 260 bytes: the most the name buffer takes
  const std::string tooLong = fits + "X";
  Write({{"first.txt", "first"}, {fits, "fits"}});
  ASSERT_EQ(UnzipArchive(kArchive, kDestination, L""), win::TRUE);
  EXPECT_EQ(Output(fits), "fits");

  ASSERT_TRUE(fs::remove_all(Host(kDestination) / "dir"));
  Write({{"first.txt", "first"}, {tooLong, "cut"}, {"last.txt", "last"}});
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE);
  EXPECT_FALSE(fs::exists(Host(kDestination) / fits));  // the name the buffer would have kept
  EXPECT_FALSE(fs::exists(Host(kDestination) / "last.txt"));
  const std::vector<std::wstring> log = platform::ReadDebugLog();
  EXPECT_NE(std::find(log.begin(), log.end(), L"[Brimvale] BVLInstall : Unzip Refused Entry - " + platform::Utf8ToWide(fits)),
            log.end());
}

TEST_F(Unzip, RefusesANameWithANulInside) {
  ASSERT_TRUE(testing_support::WriteZipRecords(Host(kArchive), {{std::string("good.txt\0.exe", 13), "hidden"}}));
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE);
  EXPECT_FALSE(fs::exists(Host(kDestination) / "good.txt"));
}

struct DamageRow {
  const char* what;
  std::vector<ZipEntry> entries;
  // Changes the archive's bytes; `data` is where the last entry's data starts.
  void (*damage)(std::string& archive, std::size_t data);
};

class DamagedArchive : public Unzip, public testing::WithParamInterface<DamageRow> {};

TEST_P(DamagedArchive, Fails) {
  const DamageRow& row = GetParam();
  std::string archive = testing_support::ZipBytes(row.entries);
  ASSERT_FALSE(archive.empty());
  const auto data = testing_support::EntryDataOffset(archive, row.entries.back().name);
  ASSERT_TRUE(data.has_value());
  row.damage(archive, *data);
  ASSERT_TRUE(WriteHostFile(Host(kArchive), archive));
  EXPECT_EQ(UnzipArchive(kArchive, kDestination, L""), win::FALSE) << row.what;
  EXPECT_TRUE(WrittenOutside().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DamagedArchive,
    testing::Values(
        DamageRow{"stored data changed: CRC mismatch",
                  {{"ok.txt", "fine"}, {"stored.bin", Text(5000), true}},
                  [](std::string& a, std::size_t d) { a[d + 100] ^= 0x01; }},
        DamageRow{"deflated data garbled",
                  {{"ok.txt", "fine"}, {"packed.txt", Text(200000)}},
                  [](std::string& a, std::size_t d) {
                    for (std::size_t i = 10; i < 400; ++i) a[d + i] = static_cast<char>(i * 31);
                  }},
        DamageRow{"cut in the middle", {{"ok.txt", "fine"}, {"packed.txt", Text(200000)}},
                  [](std::string& a, std::size_t) { a.resize(a.size() / 2); }},
        DamageRow{"end record cut", {{"ok.txt", "fine"}, {"packed.txt", Text(2000)}},
                  [](std::string& a, std::size_t) { a.resize(a.size() - 10); }},
        DamageRow{"data cut, directory kept",
                  {{"ok.txt", "fine"}, {"stored.bin", Text(5000), true}},
                  [](std::string& a, std::size_t d) {
                    // Drop the tail of the data; the directory after it stays whole.
                    const std::size_t directory = a.find("PK\x01\x02", 0, 4);
                    a.erase(d + 1000, directory - (d + 1000));
                  }},
        DamageRow{"not a ZIP", {{"ok.txt", "fine"}},
                  [](std::string& a, std::size_t) { a = std::string(a.size(), 'x'); }}),
    [](const testing::TestParamInfo<DamageRow>& info) { return "Row" + std::to_string(info.index); });

TEST(EntryNames, AreContainedUnlessTheyClimbOrNameADrive) {
  const std::vector<std::pair<std::wstring, bool>> rows = {
      {L"a.txt", true},  {L"a/b/c.txt", true}, {L"./a", true},  {L"a..b", true},   {L"...x", true},
      {L"a/", true},     {L"", true},          {L"..", false},  {L"a/..", false},  {L"../", false},
      {L"/a", false},    {L"\\a", false},      {L"C:a", false}, {L"a\\..\\..\\b", false},
      {L"a/ ../b", false}, {L".. ", false},     {L" ..", false}, {L"a:b", false}};
  for (const auto& [name, contained] : rows) EXPECT_EQ(IsContainedEntryName(name), contained) << name;
}

TEST(EntryNames, AreWindowsNamesUnlessADeviceATrailingDotOrSpaceOrAForbiddenCharacter) {
  const std::vector<std::pair<std::wstring, bool>> rows = {
      {L"a.txt", true},        {L"a/b/c.txt", true},    {L"./a", true},         {L"a/", true},
      {L"", true},             {L"CONSOLE", true},      {L"COM0", true},        {L"LPT10", true},
      {L"x.nul", true},        {L"\u00e9t\u00e9", true}, {L"a b/c d", true},   {L".x", true},
      {L"con", false},         {L"Con.", false},        {L"nUl.tar.gz", false}, {L"x/AuX", false},
      {L"PRN", false},         {L"com9", false},        {L"LPT5.log", false},   {L"com\u00b9", false},
      {L"LPT\u00b3.txt", false}, {L"CON  .txt", false},   {L"a.", false},         {L"a ", false},
      {L"a./b", false},        {L"a /b", false},        {L"a\\b.\\c", false},  {L"..", false},
      {L"a<", false},          {L"a>", false},          {L"a\"", false},        {L"a|", false},
      {L"a?", false},          {L"a*", false},          {L"a:b", false},        {L"a\x01", false},
      {L"a\x1f", false},       {L"a\r\nb", false}};
  for (const auto& [name, windows] : rows) EXPECT_EQ(IsWindowsEntryName(name), windows) << platform::WideToUtf8(name);
}

}  // namespace
