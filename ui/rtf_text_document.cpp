// The RTF document as Qt text blocks and character formats.
#include "ui/rtf_text_document.h"

#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

namespace {

// Twips (1/1440 inch) as pixels at 96 dpi.
qreal TwipsToPixels(int twips) { return twips / 15.0; }

QTextCharFormat CharFormatOf(const rtf::Document& document, const rtf::CharFormat& format, const QFont& defaultFont) {
  QTextCharFormat out;
  QFont font = defaultFont;
  auto named = document.fonts.find(format.fontIndex);
  if (named != document.fonts.end() && !named->second.name.empty()) {
    font.setFamilies({QString::fromStdWString(named->second.name), defaultFont.family()});
  }
  font.setPointSizeF(format.fontSizeHalfPoints / 2.0);
  font.setBold(format.bold);
  font.setItalic(format.italic);
  font.setUnderline(format.underline);
  out.setFont(font);
  if (format.colorIndex > 0 && format.colorIndex < static_cast<int>(document.colors.size()) &&
      !document.colors[format.colorIndex].automatic) {
    const rtf::Color& c = document.colors[format.colorIndex];
    out.setForeground(QColor(c.red, c.green, c.blue));
  }
  return out;
}

}  // namespace

void FillTextDocument(const rtf::Document& document, const QFont& defaultFont, QTextDocument* target) {
  target->clear();
  target->setDefaultFont(defaultFont);
  QTextCursor cursor(target);
  bool first = true;
  for (const rtf::Paragraph& paragraph : document.paragraphs) {
    QTextBlockFormat block;
    block.setTopMargin(TwipsToPixels(paragraph.spaceBeforeTwips));
    block.setBottomMargin(TwipsToPixels(paragraph.spaceAfterTwips));
    if (first) {
      cursor.setBlockFormat(block);
      first = false;
    } else {
      cursor.insertBlock(block);
    }
    for (const rtf::Run& run : paragraph.runs) {
      QString text = QString::fromStdWString(run.text);
      text.replace(QLatin1Char('\n'), QChar::LineSeparator);
      cursor.insertText(text, CharFormatOf(document, run.format, defaultFont));
    }
  }
}
