// The resource tables: what the program's own resources load into them, the
// one log line per failed id, an explicit module, and lookups of ids that
// were never loaded.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/resource.h"
#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/sim/machine/paths.h"
#include "platform/version.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"
#include "ui/resbox.h"

namespace {

constexpr win::WORD kKorean = 0x0412;
// A string of tests/ui/data/other_strings.txt that the program does not have.
constexpr unsigned kOnlyInTheOtherModule = 317;

class ResboxTest : public testing::Test {
 protected:
  void SetUp() override { RESBOX::Clear(); }
  void TearDown() override { RESBOX::Clear(); }

  static std::vector<std::wstring> LinesContaining(const std::wstring& part) {
    std::vector<std::wstring> lines;
    for (const std::wstring& line : platform::ReadDebugLog()) {
      if (line.find(part) != std::wstring::npos) lines.push_back(line);
    }
    return lines;
  }

  // The test resource file, opened as a data module.
  static win::HMODULE OpenOtherModule() {
    const std::filesystem::path file = std::filesystem::path(BVL_BINARY_DIR) / "tests" / "other_module.res";
    return win::LoadLibraryExW(platform::ToWindowsPath(file).c_str(), nullptr, win::LOAD_LIBRARY_AS_DATAFILE);
  }

  testing_support::ScopedMachine machine_;
};

RESBOX::IdSet Range(unsigned first, unsigned last) {
  RESBOX::IdSet ids;
  for (unsigned id = first; id <= last; ++id) ids.insert(id);
  return ids;
}

TEST_F(ResboxTest, TheInstallersTextsLoadAndOnlyId300Fails) {
  RESBOX::LoadString(Range(IDS_FIRST, IDS_LAST), kKorean, nullptr);

  EXPECT_EQ(LinesContaining(L"Load String Resource Fail"),
            std::vector<std::wstring>{L"[Brimvale] RESBOX : Load String Resource Fail [ID: 300]\r\n"});
  for (unsigned id = IDS_PRODUCT_NAME; id <= IDS_LAST; ++id) EXPECT_FALSE(RESBOX::GetString(id).empty()) << id;
  EXPECT_EQ(RESBOX::GetString(IDS_PRODUCT_NAME), L"\ube0c\ub9bc\ubca0\uc77c");
  EXPECT_EQ(RESBOX::GetString(IDS_AGREE), L"\ub3d9\uc758\ud568 >");
  // The line breaks of a text are a carriage return and a line feed.
  EXPECT_EQ(RESBOX::GetString(IDS_INSTALL_FAILED),
            L"\uc124\uce58\uac00 \uc2e4\ud328\ud588\uc2b5\ub2c8\ub2e4.\r\n"
            L"\uad00\ub9ac\uc790\uc5d0\uac8c \ubb38\uc758\ud574\uc8fc\uc2dc\uae30 \ubc14\ub78d\ub2c8\ub2e4.");
}

TEST_F(ResboxTest, TheEightImagesLoadWithTheirSizesAndAlpha) {
  RESBOX::LoadImage(Range(IDB_FIRST, IDB_LAST), nullptr, kKorean);

  EXPECT_TRUE(LinesContaining(L"RESBOX").empty());
  struct Row {
    unsigned id;
    int width, height;
  };
  for (const Row& row : {Row{IDB_LOGO, 13, 18}, Row{IDB_BUTTON_GREY, 90, 25}, Row{IDB_BUTTON_NORMAL, 90, 25},
                         Row{IDB_CLOSE_NORMAL, 18, 18}, Row{IDB_CLOSE_HOVER, 18, 18}}) {
    bvlui::Bitmap bitmap = RESBOX::GetImage(row.id);
    ASSERT_FALSE(bitmap.IsNull()) << row.id;
    EXPECT_EQ(bitmap.image.size(), QSize(row.width, row.height)) << row.id;
    EXPECT_EQ(bitmap.image2x.size(), QSize(2 * row.width, 2 * row.height)) << row.id;
  }
  // The logo is a white glyph on transparency: its corner stays transparent.
  const QImage logo = RESBOX::GetImage(IDB_LOGO).image;
  EXPECT_EQ(qAlpha(logo.pixel(0, 0)), 0);
  // Faces: 1102 solid grey; 1105 white with a (170, 170, 170) border.
  EXPECT_EQ(RESBOX::GetImage(IDB_BUTTON_GREY).image.pixel(45, 12), qRgb(112, 112, 112));
  EXPECT_EQ(RESBOX::GetImage(IDB_BUTTON_NORMAL).image.pixel(45, 12), qRgb(255, 255, 255));
  EXPECT_EQ(RESBOX::GetImage(IDB_BUTTON_NORMAL).image.pixel(0, 12), qRgb(170, 170, 170));
  EXPECT_EQ(RESBOX::GetImage(IDB_BUTTON_HOVER).image.pixel(45, 12), qRgb(248, 248, 248));
  EXPECT_EQ(RESBOX::GetImage(IDB_BUTTON_PALE).image.pixel(45, 12), qRgb(227, 227, 227));
  EXPECT_EQ(RESBOX::GetImage(IDB_CLOSE_NORMAL).image.pixel(1, 1), qRgb(0, 165, 81));
  EXPECT_EQ(RESBOX::GetImage(IDB_CLOSE_PRESSED).image.pixel(1, 1), qRgb(0, 180, 89));
  EXPECT_EQ(RESBOX::GetImage(IDB_CLOSE_HOVER).image.pixel(1, 1), qRgb(0, 191, 94));
}

TEST_F(ResboxTest, TheLicenceIsStoredAsExactlyItsBytes) {
  RESBOX::LoadBinary({IDR_LICENSE_RTF}, nullptr, kKorean);

  const std::string file =
      testing_support::ReadHostFile(std::filesystem::path(BVL_SOURCE_DIR) / "resources" / "licence_ko.rtf");
  RESBOX::Binary binary = RESBOX::GetBinary(IDR_LICENSE_RTF);
  ASSERT_EQ(binary.size, file.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(binary.data), binary.size), file);
}

TEST_F(ResboxTest, AnExplicitModuleServesItsOwnResourcesOnly) {
  win::HMODULE other = OpenOtherModule();
  ASSERT_NE(other, nullptr);

  RESBOX::LoadString({IDS_PRODUCT_NAME, IDS_OK, kOnlyInTheOtherModule}, kKorean, other);
  RESBOX::LoadBinary({IDR_LICENSE_RTF}, other, kKorean);

  EXPECT_EQ(RESBOX::GetString(IDS_PRODUCT_NAME), L"other module");
  EXPECT_EQ(RESBOX::GetString(kOnlyInTheOtherModule), L"only here");
  // IDS_OK is the program's, not the other module's.
  EXPECT_EQ(LinesContaining(L"Load String Resource Fail"),
            std::vector<std::wstring>{L"[Brimvale] RESBOX : Load String Resource Fail [ID: 302]\r\n"});
  EXPECT_EQ(RESBOX::GetBinary(IDR_LICENSE_RTF).size, 18u);
  EXPECT_TRUE(win::FreeLibrary(other));
}

TEST_F(ResboxTest, AZeroSizeImageIsLoggedAndTheNextIdStillLoads) {
  win::HMODULE other = OpenOtherModule();
  ASSERT_NE(other, nullptr);

  RESBOX::LoadImage({IDB_LOGO, IDB_BUTTON_GREY, IDB_BUTTON_PALE}, other, kKorean);

  const std::vector<std::wstring> lines = LinesContaining(L"[Brimvale] ");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind(L"[Brimvale] LoadImage Throw - ", 0), 0u) << platform::WideToUtf8(lines[0]);
  EXPECT_EQ(lines[1], L"[Brimvale] RESBOX : Load Image Resource Fail [ID: 1102]\r\n");
  // That module's IDB_LOGO is a close-button face, not the program's logo.
  EXPECT_EQ(RESBOX::GetImage(IDB_LOGO).image.size(), QSize(18, 18));
  EXPECT_TRUE(RESBOX::GetImage(IDB_BUTTON_GREY).IsNull());
  EXPECT_FALSE(RESBOX::GetImage(IDB_BUTTON_PALE).IsNull());
  win::FreeLibrary(other);
}

TEST_F(ResboxTest, MissingBinaryLogsTheThrowAndTheFailure) {
  RESBOX::LoadBinary({201}, nullptr, kKorean);

  const std::vector<std::wstring> lines = LinesContaining(L"[Brimvale] ");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], L"[Brimvale] LoadBinary Throw - " + std::to_wstring(win::ERROR_RESOURCE_NAME_NOT_FOUND) + L" \r\n");
  EXPECT_EQ(lines[1], L"[Brimvale] RESBOX : Load Binary Resource Fail [ID: 201]\r\n");
  EXPECT_EQ(RESBOX::GetBinary(201).data, nullptr);
}

TEST_F(ResboxTest, LookingUpAnUnknownIdAddsAnEmptyEntryThatALoadReplaces) {
  EXPECT_FALSE(RESBOX::HasImageEntry(IDB_BUTTON_HOVER));
  EXPECT_TRUE(RESBOX::GetImage(IDB_BUTTON_HOVER).IsNull());
  EXPECT_TRUE(RESBOX::HasImageEntry(IDB_BUTTON_HOVER));
  EXPECT_TRUE(RESBOX::GetString(999).empty());
  EXPECT_TRUE(RESBOX::HasStringEntry(999));

  RESBOX::LoadImage({IDB_BUTTON_HOVER}, nullptr, kKorean);
  EXPECT_FALSE(RESBOX::GetImage(IDB_BUTTON_HOVER).IsNull());
}

TEST_F(ResboxTest, ALanguageTheModuleDoesNotHaveLoadsNothing) {
  RESBOX::LoadString({IDS_PRODUCT_NAME}, 0x0409, nullptr);
  EXPECT_TRUE(RESBOX::GetString(IDS_PRODUCT_NAME).empty());
  EXPECT_EQ(LinesContaining(L"Load String Resource Fail").size(), 1u);
}

TEST_F(ResboxTest, AFileThatIsNotAResourceFileDoesNotOpen) {
  const std::filesystem::path file = machine_.Root() / "not-resources.res";
  ASSERT_TRUE(testing_support::WriteHostFile(file, "MZ this is no resource file"));
  EXPECT_EQ(win::LoadLibraryExW(platform::ToWindowsPath(file).c_str(), nullptr, win::LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_BAD_FORMAT);
}

}  // namespace
