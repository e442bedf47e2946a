// The RTF document in a Qt text document: where text after a tab lands, for
// RTF's default stops, \deftab, the document's own \tx stops and their kinds,
// at the page's resolution.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "support/scoped_machine.h"
#include "ui/rtf_reader.h"
#include "ui/rtf_text_document.h"

namespace {

class RtfTextDocumentTest : public testing::Test {
 protected:
  // The document laid out at `dpi`; its paragraphs stay on one line each.
  QTextDocument& Laid(const char* rtf, int dpi = 96) {
    FillTextDocument(rtf::ReadRtf(rtf), QFont(QStringLiteral("NanumGothic"), 10), &document_, dpi);
    document_.setTextWidth(4000);
    document_.documentLayout()->documentSize();
    return document_;
  }

  // The distance from the start of paragraph `block` to the left edge of
  // its character at `position`.
  static qreal XOf(const QTextDocument& document, int block, int position) {
    const QTextBlock found = document.findBlockByNumber(block);
    const QTextLine line = found.layout()->lineAt(0);
    return line.cursorToX(position) - line.cursorToX(0);
  }

  testing_support::ScopedMachine machine_;
  QTextDocument document_;
};

TEST_F(RtfTextDocumentTest, WithoutStopsATabGoesToHalfAnInch) {
  const QTextDocument& document = Laid("{\\rtf1 a\\tab b\\tab c}");
  EXPECT_NEAR(XOf(document, 0, 2), 48, 0.5) << "720 twips at 96 dpi";
  EXPECT_NEAR(XOf(document, 0, 4), 96, 0.5);
}

TEST_F(RtfTextDocumentTest, DeftabSetsTheDistanceOfTheDefaultStops) {
  EXPECT_NEAR(XOf(Laid("{\\rtf1\\deftab360 a\\tab b}"), 0, 2), 24, 0.5);
  EXPECT_NEAR(XOf(Laid("{\\rtf1\\deftab360 a\\tab b}", 144), 0, 2), 36, 0.5) << "at 144 dpi";
}

TEST_F(RtfTextDocumentTest, TheDocumentsStopsComeFirstThenTheDefaultStops) {
  const QTextDocument& document = Laid("{\\rtf1\\pard\\tx1440 a\\tab b\\tab c\\par\\pard d\\tab e}");
  EXPECT_NEAR(XOf(document, 0, 2), 96, 0.5) << "\\tx1440: one inch";
  EXPECT_NEAR(XOf(document, 0, 4), 144, 0.5) << "the next default stop after the last own one";
  EXPECT_NEAR(XOf(document, 1, 2), 48, 0.5) << "\\pard: default stops again";
  EXPECT_NEAR(XOf(Laid("{\\rtf1\\tx1440 a\\tab b}", 144), 0, 2), 144, 0.5) << "at 144 dpi";
}

TEST_F(RtfTextDocumentTest, ARightStopEndsTheTextAtIt) {
  const QTextDocument& document = Laid("{\\rtf1\\tqr\\tx2880 a\\tab bbbb}");
  EXPECT_NEAR(XOf(document, 0, 6), 192, 0.5) << "the end of \"bbbb\" at two inches";
  EXPECT_LT(XOf(document, 0, 2), 190);
}

TEST_F(RtfTextDocumentTest, ParagraphSpacingIsConvertedAtThePagesResolution) {
  const QTextDocument& document = Laid("{\\rtf1\\pard\\sb240\\sa120 a}", 144);
  const QTextBlockFormat format = document.firstBlock().blockFormat();
  EXPECT_DOUBLE_EQ(format.topMargin(), 24.0);
  EXPECT_DOUBLE_EQ(format.bottomMargin(), 12.0);
}

}  // namespace
