// The RTF reader: the licence's own text, code page 949 and "\u" characters,
// groups and destinations, formatting, and damaged or hostile documents.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/host_files.h"
#include "support/scoped_machine.h"
#include "ui/rtf_reader.h"

namespace {

class RtfReaderTest : public testing::Test {
 protected:
  // Code pages are the machine's conversions.
  testing_support::ScopedMachine machine_;
};

std::string LicenceBytes() {
  return testing_support::ReadHostFile(std::filesystem::path(BVL_SOURCE_DIR) / "resources" / "licence_ko.rtf");
}

TEST_F(RtfReaderTest, TheLicenceReadsFromItsTitleToItsLastLine) {
  rtf::Document document = rtf::ReadRtf(LicenceBytes());

  EXPECT_TRUE(document.isRtf);
  EXPECT_TRUE(document.complete);
  EXPECT_EQ(document.codePage, 949u);
  ASSERT_GE(document.paragraphs.size(), 10u);
  // "브림베일 설치 및 이용 약관", in bold, from \'hh bytes of code page 949.
  EXPECT_EQ(document.paragraphs[0].Text(), L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58 \ubc0f \uc774\uc6a9 \uc57d\uad00");
  EXPECT_TRUE(document.paragraphs[0].runs[0].format.bold);
  EXPECT_EQ(document.paragraphs[0].runs[0].format.colorIndex, 2);
  // "제1조 (목적)"
  EXPECT_EQ(document.paragraphs[1].Text(), L"\uc81c1\uc870 (\ubaa9\uc801)");
  // The last paragraph: \u169 (the copyright sign) with its fallback skipped,
  // an italic run, a line break.
  const std::wstring last = document.paragraphs.back().Text();
  EXPECT_EQ(last.substr(0, 11), L"\u00a9 Brimvale.");
  EXPECT_NE(last.find(L'\n'), std::wstring::npos);
  EXPECT_EQ(document.PlainText().find(L"generator"), std::wstring::npos);
  // The font table: the Korean family in code page 949.
  EXPECT_EQ(document.fonts[0].name, L"\ub9d1\uc740 \uace0\ub515");
  EXPECT_EQ(document.fonts[0].charset, 129);
  ASSERT_EQ(document.colors.size(), 3u);
  EXPECT_TRUE(document.colors[0].automatic);
  EXPECT_EQ(document.colors[2].green, 165);
}

struct TextRow {
  const char* name;
  const char* rtf;
  const wchar_t* text;  // PlainText
};

class RtfTextTest : public RtfReaderTest, public testing::WithParamInterface<TextRow> {};

TEST_P(RtfTextTest, ReadsTheText) {
  EXPECT_EQ(rtf::ReadRtf(GetParam().rtf).PlainText(), GetParam().text);
}

const TextRow kTextRows[] = {
    {"PlainWords", "{\\rtf1\\ansi Hello world}", L"Hello world\n"},
    {"ParagraphsAndLineBreaks", "{\\rtf1 one\\par two\\line three\\par}", L"one\ntwo\nthree\n"},
    {"Tabs", "{\\rtf1 a\\tab b}", L"a\tb\n"},
    {"EscapedSymbols", "{\\rtf1 \\{x\\} \\\\ y}", L"{x} \\ y\n"},
    {"HangulBytesInCodePage949", "{\\rtf1\\ansi\\ansicpg949 \\'c7\\'d1\\'b1\\'db}", L"\ud55c\uae00\n"},
    {"FontCharsetChoosesTheCodePage", "{\\rtf1\\ansi{\\fonttbl{\\f1\\fcharset129 K;}}\\f1 \\'c7\\'d1}", L"\ud55c\n"},
    {"Latin1InCodePage1252", "{\\rtf1\\ansi\\ansicpg1252 caf\\'e9}", L"caf\u00e9\n"},
    {"UnicodeWithDefaultSkip", "{\\rtf1 \\u54620?\\u44544?}", L"\ud55c\uae00\n"},
    {"UnicodeNegativeValue", "{\\rtf1 \\u-1?}", L"\uffff\n"},
    {"UcTwoSkipsTwoFallbackCharacters", "{\\rtf1\\uc2 \\u54620\\'c7\\'d1x}", L"\ud55cx\n"},
    {"UcZeroSkipsNothing", "{\\rtf1\\uc0 \\u65 B}", L"AB\n"},
    {"UcIsScopedToItsGroup", "{\\rtf1 {\\uc3 x}\\u65 BC}", L"xAC\n"},
    {"StarredDestinationsAreSkipped", "{\\rtf1 a{\\*\\unknown hidden {nested}}b}", L"ab\n"},
    {"KnownDestinationsAreSkipped", "{\\rtf1{\\info{\\title T}}{\\stylesheet{\\s0 Normal;}}text}", L"text\n"},
    {"PicturesAreSkipped", "{\\rtf1 a{\\pict\\pngblip 89504e470d0a}b}", L"ab\n"},
    {"BinaryDataIsSkipped", "{\\rtf1 a{\\pict\\bin4 }{}\\b}b}", L"ab\n"},
    {"FieldShowsItsResult", "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt shown}}}", L"shown\n"},
    {"SpecialCharacters", "{\\rtf1 \\emdash\\endash\\lquote\\rquote\\ldblquote\\rdblquote\\bullet\\~}",
     L"\u2014\u2013\u2018\u2019\u201c\u201d\u2022\u00a0\n"},
    {"OptionalHyphenIsNotShown", "{\\rtf1 co\\-operate}", L"cooperate\n"},
    {"LineEndsInTheSourceAreNotText", "{\\rtf1 a\r\nb}", L"ab\n"},
    {"TextAfterTheDocumentIsIgnored", "{\\rtf1 in}out", L"in\n"},
};
INSTANTIATE_TEST_SUITE_P(Rows, RtfTextTest, testing::ValuesIn(kTextRows),
                         [](const testing::TestParamInfo<TextRow>& info) { return std::string(info.param.name); });

TEST_F(RtfReaderTest, FormattingBecomesRuns) {
  rtf::Document document = rtf::ReadRtf("{\\rtf1 a\\b b\\b0 c{\\i d}\\ul e\\ulnone\\fs30 f\\cf2 g\\plain h}");
  ASSERT_EQ(document.paragraphs.size(), 1u);
  const std::vector<rtf::Run>& runs = document.paragraphs[0].runs;
  ASSERT_EQ(runs.size(), 8u);
  EXPECT_EQ(runs[0].text, L"a");
  EXPECT_FALSE(runs[0].format.bold);
  EXPECT_TRUE(runs[1].format.bold);
  EXPECT_FALSE(runs[2].format.bold);
  EXPECT_TRUE(runs[3].format.italic);
  EXPECT_FALSE(runs[4].format.italic);  // the group ended
  EXPECT_TRUE(runs[4].format.underline);
  EXPECT_EQ(runs[5].format.fontSizeHalfPoints, 30);
  EXPECT_FALSE(runs[5].format.underline);
  EXPECT_EQ(runs[6].format.colorIndex, 2);
  EXPECT_EQ(runs[7].format, rtf::CharFormat());
}

TEST_F(RtfReaderTest, ParagraphSpacingFollowsPard) {
  rtf::Document document = rtf::ReadRtf("{\\rtf1\\pard\\sb120\\sa60 a\\par b\\par\\pard c}");
  ASSERT_EQ(document.paragraphs.size(), 3u);
  EXPECT_EQ(document.paragraphs[0].spaceBeforeTwips, 120);
  EXPECT_EQ(document.paragraphs[1].spaceAfterTwips, 60);
  EXPECT_EQ(document.paragraphs[2].spaceBeforeTwips, 0);
}

TEST_F(RtfReaderTest, TabStopsFollowDeftabTxAndPard) {
  rtf::Document plain = rtf::ReadRtf("{\\rtf1 a\\tab b}");
  EXPECT_EQ(plain.defaultTabTwips, 720) << "RTF's default: half an inch";
  EXPECT_TRUE(plain.paragraphs[0].tabStops.empty());

  rtf::Document document = rtf::ReadRtf(
      "{\\rtf1\\deftab360 \\pard\\tx1440\\tqr\\tx4320\\tqc\\tx5040\\tqdec\\tx6480\\tb7200\\tx8640 a\\tab b\\par"
      " next\\par\\pard c}");
  EXPECT_EQ(document.defaultTabTwips, 360);
  ASSERT_EQ(document.paragraphs.size(), 3u);
  using Kind = rtf::TabStop::Kind;
  const std::vector<rtf::TabStop> expected = {
      {1440, Kind::kLeft}, {4320, Kind::kRight}, {5040, Kind::kCenter}, {6480, Kind::kDecimal}, {8640, Kind::kLeft}};
  EXPECT_EQ(document.paragraphs[0].tabStops, expected) << "a bar tab (\\tb) is no stop and takes no kind along";
  EXPECT_EQ(document.paragraphs[1].tabStops, expected) << "the stops last until \\pard";
  EXPECT_TRUE(document.paragraphs[2].tabStops.empty());
}

TEST_F(RtfReaderTest, TabStopsOutOfOrderOrOutOfBoundsAreKeptInOrderAndWithinBounds) {
  rtf::Document document = rtf::ReadRtf("{\\rtf1\\deftab0\\tx2880\\tx1440\\tx1440\\tx-5\\tx99999999 a}");
  EXPECT_EQ(document.defaultTabTwips, 720) << "a stop distance of 0 would never advance";
  const std::vector<rtf::TabStop> expected = {{0, rtf::TabStop::Kind::kLeft}, {1440, rtf::TabStop::Kind::kLeft},
                                              {2880, rtf::TabStop::Kind::kLeft}, {31680, rtf::TabStop::Kind::kLeft}};
  EXPECT_EQ(document.paragraphs[0].tabStops, expected);

  std::string many = "{\\rtf1 ";
  for (int i = 1; i <= 100000; ++i) many += "\\tx" + std::to_string(i);
  many += " a}";
  EXPECT_EQ(rtf::ReadRtf(many).paragraphs[0].tabStops.size(), std::size_t(rtf::kMaxTabStops));
}

TEST_F(RtfReaderTest, ATruncatedDocumentKeepsWhatItRead) {
  const std::string full = LicenceBytes();
  rtf::Document document = rtf::ReadRtf(full.substr(0, full.size() / 2));
  EXPECT_FALSE(document.complete);
  EXPECT_GE(document.paragraphs.size(), 3u);
  EXPECT_EQ(document.paragraphs[0].Text(), rtf::ReadRtf(full).paragraphs[0].Text());

  // Cut inside a \'hh escape and inside a control word.
  EXPECT_EQ(rtf::ReadRtf("{\\rtf1 ab\\'c").PlainText(), L"ab\n");
  EXPECT_EQ(rtf::ReadRtf("{\\rtf1 ab\\pa").PlainText(), L"ab\n");
  EXPECT_EQ(rtf::ReadRtf("{\\rtf1 ab\\").PlainText(), L"ab\n");
}

TEST_F(RtfReaderTest, DataThatIsNotRtfIsReadAsText) {
  rtf::Document document = rtf::ReadRtf("plain words");
  EXPECT_FALSE(document.isRtf);
  EXPECT_EQ(document.PlainText(), L"plain words\n");
  EXPECT_EQ(rtf::ReadRtf("").PlainText(), L"\n");
  EXPECT_EQ(rtf::ReadRtf("}}}{\\rtf1 x").PlainText(), L"\n");
}

TEST_F(RtfReaderTest, HostileDocumentsStayWithinTheirBounds) {
  // A million nested groups: no stack overflow; the text inside the deepest
  // groups is skipped, the text beside them is kept.
  std::string deep = "{\\rtf1 before";
  deep += std::string(1000000, '{') + "inner" + std::string(1000000, '}');
  deep += "after}";
  rtf::Document nested = rtf::ReadRtf(deep);
  EXPECT_EQ(nested.PlainText(), L"beforeafter\n");
  EXPECT_TRUE(nested.complete);

  // Nesting just within the bound keeps its text.
  std::string within = "{\\rtf1 " + std::string(rtf::kMaxDepth - 2, '{') + "kept" + std::string(rtf::kMaxDepth - 2, '}') + "}";
  EXPECT_EQ(rtf::ReadRtf(within).PlainText(), L"kept\n");

  // Huge parameters are clamped, not overflowed.
  rtf::Document huge = rtf::ReadRtf("{\\rtf1\\fs99999999999999999999 a\\uc99999999999 \\u99999999999 b\\bin99999999999999}");
  ASSERT_FALSE(huge.paragraphs[0].runs.empty());
  EXPECT_EQ(huge.paragraphs[0].runs[0].format.fontSizeHalfPoints, 3276);
  EXPECT_EQ(huge.paragraphs[0].Text(), L"a");

  // A control word of a megabyte of letters and a parameter of a megabyte of digits.
  const std::string longWord = "{\\rtf1 \\" + std::string(1 << 20, 'x') + " a\\b" + std::string(1 << 20, '7') + " b}";
  EXPECT_EQ(rtf::ReadRtf(longWord).PlainText(), L"ab\n");

  // A megabyte of interleaved escapes and control words.
  std::string interleaved = "{\\rtf1\\ansicpg949 ";
  while (interleaved.size() < (1u << 20)) interleaved += "\\'b0\\'a1\\b \\'c7\\'d1\\b0 ";
  interleaved += "}";
  rtf::Document mixed = rtf::ReadRtf(interleaved);
  EXPECT_EQ(mixed.paragraphs[0].Text().substr(0, 2), L"\uac00\ud55c");
}

}  // namespace
