// The RTF document as Qt text blocks and character formats.
#include "ui/rtf_text_document.h"

#include <QList>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextOption>

namespace {

// Twips (1/1440 inch) as pixels at `dpi`.
qreal TwipsToPixels(int twips, int dpi) { return twips * qreal(dpi) / 1440.0; }

QList<QTextOption::Tab> TabsOf(const std::vector<rtf::TabStop>& stops, int dpi) {
  QList<QTextOption::Tab> tabs;
  for (const rtf::TabStop& stop : stops) {
    QTextOption::Tab tab;
    tab.position = TwipsToPixels(stop.positionTwips, dpi);
    switch (stop.kind) {
      case rtf::TabStop::Kind::kLeft: tab.type = QTextOption::LeftTab; break;
      case rtf::TabStop::Kind::kRight: tab.type = QTextOption::RightTab; break;
      case rtf::TabStop::Kind::kCenter: tab.type = QTextOption::CenterTab; break;
      case rtf::TabStop::Kind::kDecimal:
        tab.type = QTextOption::DelimiterTab;
        tab.delimiter = QLatin1Char('.');
        break;
    }
    tabs.append(tab);
  }
  return tabs;
}

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

void FillTextDocument(const rtf::Document& document, const QFont& defaultFont, QTextDocument* target, int dpi) {
  target->clear();
  target->setDefaultFont(defaultFont);
  // Past a paragraph's own stops a tab goes to the next default stop.
  QTextOption option = target->defaultTextOption();
  option.setTabStopDistance(TwipsToPixels(document.defaultTabTwips, dpi));
  target->setDefaultTextOption(option);
  QTextCursor cursor(target);
  bool first = true;
  for (const rtf::Paragraph& paragraph : document.paragraphs) {
    QTextBlockFormat block;
    block.setTopMargin(TwipsToPixels(paragraph.spaceBeforeTwips, dpi));
    block.setBottomMargin(TwipsToPixels(paragraph.spaceAfterTwips, dpi));
    block.setTabPositions(TabsOf(paragraph.tabStops, dpi));
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
