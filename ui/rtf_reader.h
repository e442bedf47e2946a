// The RTF reader of the licence page: turns an RTF document (groups,
// destinations, control words, "\'hh" bytes in the document's code page,
// "\uN" characters) into paragraphs of formatted runs. Damaged or hostile
// input never fails: the reader keeps what it read, within fixed bounds of
// nesting, word and parameter length, in time linear in the input.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace rtf {

struct CharFormat {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  int fontSizeHalfPoints = 24;  // \fsN; RTF's default is 12 points
  int fontIndex = -1;           // \fN; -1 before any font was chosen
  int colorIndex = 0;           // \cfN; 0 is the automatic colour
  bool operator==(const CharFormat& other) const {
    return bold == other.bold && italic == other.italic && underline == other.underline &&
           fontSizeHalfPoints == other.fontSizeHalfPoints && fontIndex == other.fontIndex &&
           colorIndex == other.colorIndex;
  }
  bool operator!=(const CharFormat& other) const { return !(*this == other); }
};

struct Run {
  std::wstring text;  // "\n" for a line break (\line), "\t" for a tab
  CharFormat format;
};

// A tab stop of a paragraph (\txN), of the kind that the \tqr, \tqc or
// \tqdec before it names.
struct TabStop {
  enum class Kind { kLeft, kRight, kCenter, kDecimal };
  int positionTwips = 0;
  Kind kind = Kind::kLeft;
  bool operator==(const TabStop& other) const { return positionTwips == other.positionTwips && kind == other.kind; }
};

struct Paragraph {
  std::vector<Run> runs;
  int spaceBeforeTwips = 0;    // \sbN
  int spaceAfterTwips = 0;     // \saN
  std::vector<TabStop> tabStops;  // in ascending order; a tab past the last goes to the default stops
  std::wstring Text() const;
};

struct Font {
  std::wstring name;
  int charset = 1;  // \fcharsetN; 1 is the default charset
};

struct Color {
  int red = 0, green = 0, blue = 0;
  bool automatic = true;  // an empty colour-table entry
};

struct Document {
  std::vector<Paragraph> paragraphs;
  std::map<int, Font> fonts;
  std::vector<Color> colors;
  unsigned codePage = 1252;  // \ansicpgN
  int defaultTabTwips = 720;  // \deftabN: the distance of the default tab stops
  bool isRtf = false;        // the data began with "{\rtf"
  bool complete = false;     // the outermost group was closed
  // The text of every paragraph, each ended by "\n".
  std::wstring PlainText() const;
};

// Bounds that keep a hostile document's cost linear: nesting deeper than
// kMaxDepth is read as skipped content; control words longer than
// kMaxWordLength letters and parameters longer than kMaxParameterDigits
// digits are cut; a paragraph keeps its first kMaxTabStops stops, each within
// kMaxTwips of the margin, as word processors do.
constexpr int kMaxDepth = 200;
constexpr int kMaxWordLength = 32;
constexpr int kMaxParameterDigits = 10;
constexpr int kMaxTabStops = 64;
constexpr int kMaxTwips = 31680;  // 22 inches

// Reads the document. Data that does not begin with "{\rtf" is read as RTF
// all the same (isRtf tells the caller).
Document ReadRtf(std::string_view data);

// The code page of an RTF font charset (\fcharsetN); 0 when the charset
// names no code page of its own (ANSI default, symbol).
unsigned CodePageOfCharset(int charset);

}  // namespace rtf
