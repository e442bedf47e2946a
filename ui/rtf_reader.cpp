// The RTF reader: a single pass over the bytes with a stack of group states.
#include "ui/rtf_reader.h"

#include <algorithm>
#include <cstdint>

#include "platform/codepage.h"

namespace rtf {

namespace {

enum class Destination { kText, kFontTable, kColorTable, kSkip };

struct GroupState {
  CharFormat format;
  Destination destination = Destination::kText;
  int unicodeSkip = 1;  // \ucN
  int fontTableIndex = -1;  // the font entry being read in the font table
};

// Destinations whose content is not document text.
bool IsSkippedDestination(const std::string& word) {
  static const char* const kSkipped[] = {
      "stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf", "footer",
      "footerl", "footerr", "footerf", "footnote", "annotation", "xe", "tc", "txe", "rxe", "private",
      "fldinst", "themedata", "colorschememapping", "listtable", "listoverridetable", "revtbl",
      "rsidtbl", "generator", "latentstyles", "datastore", "xmlnstbl", "filetbl", "bkmkstart", "bkmkend",
      "panose", "falt", "bin", "objdata", "shppict", "nonshppict", "mmathPr", "pgdsctbl", "title",
      "author", "operator", "comment", "doccomm", "keywords", "subject", "company"};
  for (const char* name : kSkipped) {
    if (word == name) return true;
  }
  return false;
}

class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}

  Document Read() {
    document_.isRtf = data_.substr(0, 5) == "{\\rtf";
    stack_.push_back(GroupState());
    NewParagraph();
    while (at_ < data_.size() && !ended_) Step();
    FlushBytes();
    // A document cut short keeps its last paragraph; a closed one ends with
    // the paragraph its last \par began, which is empty and dropped.
    if (!document_.paragraphs.empty() && document_.paragraphs.back().runs.empty() && document_.paragraphs.size() > 1) {
      document_.paragraphs.pop_back();
    }
    return std::move(document_);
  }

 private:
  GroupState& State() { return stack_.back(); }

  void Step() {
    const char c = data_[at_];
    if (c == '{') {
      ++at_;
      OpenGroup();
    } else if (c == '}') {
      ++at_;
      CloseGroup();
    } else if (c == '\\') {
      ++at_;
      ControlSymbolOrWord();
    } else if (c == '\r' || c == '\n') {
      ++at_;
    } else {
      ++at_;
      if (skipCount_ > 0) {
        --skipCount_;
        return;
      }
      TextByte(static_cast<unsigned char>(c));
    }
  }

  void OpenGroup() {
    FlushBytes();
    skipCount_ = 0;
    if (depth_ + overflow_ >= kMaxDepth) {
      ++overflow_;
      return;
    }
    ++depth_;
    GroupState state = State();
    if (state.destination == Destination::kFontTable) state.fontTableIndex = -1;
    stack_.push_back(state);
    starredNext_ = false;
    firstInGroup_ = true;
  }

  void CloseGroup() {
    FlushBytes();
    skipCount_ = 0;
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    if (depth_ == 0) {
      // The outermost group has closed: the document ends here.
      ended_ = true;
      return;
    }
    if (State().destination == Destination::kFontTable) FinishFontName();
    --depth_;
    stack_.pop_back();
    if (depth_ == 0) {
      document_.complete = true;
      ended_ = true;
    }
  }

  bool Skipping() const { return overflow_ > 0 || stack_.back().destination == Destination::kSkip; }

  void ControlSymbolOrWord() {
    if (at_ >= data_.size()) return;
    const char c = data_[at_];
    const bool wasFirst = firstInGroup_;
    firstInGroup_ = false;
    if (!IsLetter(c)) {
      ++at_;
      ControlSymbol(c, wasFirst);
      return;
    }
    std::string word;
    while (at_ < data_.size() && IsLetter(data_[at_])) {
      if (static_cast<int>(word.size()) < kMaxWordLength) word.push_back(data_[at_]);
      ++at_;
    }
    bool hasParameter = false;
    bool negative = false;
    std::int64_t value = 0;
    if (at_ < data_.size() && data_[at_] == '-' && at_ + 1 < data_.size() && IsDigit(data_[at_ + 1])) {
      negative = true;
      ++at_;
    }
    int digits = 0;
    while (at_ < data_.size() && IsDigit(data_[at_])) {
      hasParameter = true;
      if (digits++ < kMaxParameterDigits) value = value * 10 + (data_[at_] - '0');
      ++at_;
    }
    if (at_ < data_.size() && data_[at_] == ' ') ++at_;  // the delimiter belongs to the word
    value = std::clamp<std::int64_t>(negative ? -value : value, INT32_MIN, INT32_MAX);
    ControlWord(word, hasParameter, static_cast<int>(value), wasFirst);
  }

  void ControlSymbol(char c, bool wasFirst) {
    switch (c) {
      case '\\': case '{': case '}':
        if (ConsumeSkip()) return;
        TextByte(static_cast<unsigned char>(c));
        return;
      case '\'': {
        if (at_ + 2 <= data_.size() && IsHex(data_[at_]) && IsHex(data_[at_ + 1])) {
          const int byte = Hex(data_[at_]) * 16 + Hex(data_[at_ + 1]);
          at_ += 2;
          if (ConsumeSkip()) return;
          TextByte(static_cast<unsigned char>(byte));
        } else {
          // A damaged escape: its lone digit is no text.
          while (at_ < data_.size() && IsHex(data_[at_]) && !(at_ + 1 < data_.size())) ++at_;
        }
        return;
      }
      case '*':
        // "{\*\word": the word that follows is still the group's first.
        if (wasFirst) {
          starredNext_ = true;
          firstInGroup_ = true;
        }
        return;
      case '~': if (!ConsumeSkip()) Text(L"\u00a0"); return;
      case '_': if (!ConsumeSkip()) Text(L"\u2011"); return;
      case '-': ConsumeSkip(); return;  // optional hyphen: not shown
      case '\r': case '\n': if (!ConsumeSkip()) EndParagraph(); return;
      case '\t': if (!ConsumeSkip()) Text(L"\t"); return;
      default: ConsumeSkip(); return;
    }
  }

  // After \uN the next N characters are the fallback for readers without
  // Unicode; true when this one was such a character.
  bool ConsumeSkip() {
    if (skipCount_ <= 0) return false;
    --skipCount_;
    return true;
  }

  void ControlWord(const std::string& word, bool hasParameter, int value, bool wasFirst) {
    const bool starred = starredNext_;
    starredNext_ = false;
    if (word == "bin") {
      // Binary data of `value` bytes follows; none of it is text.
      const std::size_t length = hasParameter && value > 0 ? static_cast<std::size_t>(value) : 0;
      at_ += std::min(length, data_.size() - at_);
      return;
    }
    if (Skipping()) return;
    GroupState& state = State();
    if (wasFirst && (starred || IsSkippedDestination(word))) {
      FlushBytes();
      state.destination = Destination::kSkip;
      return;
    }
    if (word == "fonttbl") { FlushBytes(); state.destination = Destination::kFontTable; return; }
    if (word == "colortbl") { FlushBytes(); state.destination = Destination::kColorTable; currentColor_ = Color(); return; }
    if (state.destination == Destination::kFontTable) {
      FontTableWord(word, hasParameter, value);
      return;
    }
    if (state.destination == Destination::kColorTable) {
      ColorTableWord(word, value);
      return;
    }
    if (skipCount_ > 0 && word != "u") {
      --skipCount_;
      return;
    }
    TextWord(word, hasParameter, value);
  }

  void FontTableWord(const std::string& word, bool hasParameter, int value) {
    GroupState& state = State();
    if (word == "f" && hasParameter) {
      FinishFontName();
      state.fontTableIndex = value;
      fontName_.clear();
      fontNameBytes_.clear();
      fontNameOpen_ = true;
      document_.fonts[value];
    } else if (word == "fcharset" && state.fontTableIndex >= 0) {
      document_.fonts[state.fontTableIndex].charset = value;
    }
  }

  void ColorTableWord(const std::string& word, int value) {
    const int channel = std::clamp(value, 0, 255);
    if (word == "red") currentColor_.red = channel;
    else if (word == "green") currentColor_.green = channel;
    else if (word == "blue") currentColor_.blue = channel;
    else return;
    currentColor_.automatic = false;
  }

  void TextWord(const std::string& word, bool hasParameter, int value) {
    GroupState& state = State();
    CharFormat& format = state.format;
    const bool on = !hasParameter || value != 0;
    if (word == "par" || word == "sect" || word == "page" || word == "row") { EndParagraph(); return; }
    if (word == "line") { Text(L"\n"); return; }
    if (word == "tab" || word == "cell") { Text(L"\t"); return; }
    if (word == "u" && hasParameter) {
      // A signed 16-bit value: negative numbers stand for code units above 0x7FFF.
      const int unit = value < 0 ? value + 65536 : value;
      if (unit >= 0 && unit <= 0xFFFF) {
        FlushBytes();
        unicodeUnits_.push_back(static_cast<char16_t>(unit));
        FlushUnicode();
      }
      skipCount_ = state.unicodeSkip;
      return;
    }
    if (word == "uc") { state.unicodeSkip = std::clamp(value, 0, 16); return; }
    if (word == "ansicpg" && hasParameter && value > 0) { document_.codePage = static_cast<unsigned>(value); return; }
    if (word == "deftab") {
      // A distance of 0 would never advance; the default stays then.
      if (hasParameter && value > 0) document_.defaultTabTwips = std::min(value, kMaxTwips);
      return;
    }
    if (word == "emdash") { Text(L"\u2014"); return; }
    if (word == "endash") { Text(L"\u2013"); return; }
    if (word == "lquote") { Text(L"\u2018"); return; }
    if (word == "rquote") { Text(L"\u2019"); return; }
    if (word == "ldblquote") { Text(L"\u201c"); return; }
    if (word == "rdblquote") { Text(L"\u201d"); return; }
    if (word == "bullet") { Text(L"\u2022"); return; }
    if (word == "emspace" || word == "enspace") { Text(L" "); return; }
    if (ParagraphWord(word, hasParameter, value)) return;

    CharFormat changed = format;
    if (word == "b") changed.bold = on;
    else if (word == "i") changed.italic = on;
    else if (word == "ul") changed.underline = on;
    else if (word == "ulnone") changed.underline = false;
    else if (word == "fs" && hasParameter) changed.fontSizeHalfPoints = std::clamp(value, 2, 3276);
    else if (word == "f" && hasParameter) changed.fontIndex = value;
    else if (word == "cf" && hasParameter) changed.colorIndex = std::max(0, value);
    else if (word == "plain") changed = CharFormat{};
    else return;
    if (changed != format) {
      FlushBytes();
      format = changed;
    }
  }

  // Paragraph formatting: \pard and the spacing and tab stops it resets.
  // They hold for the current paragraph and the ones after it, until the
  // next \pard. False for any other word.
  bool ParagraphWord(const std::string& word, bool hasParameter, int value) {
    if (word == "pard") {
      pard_ = ParagraphFormat();
    } else if (word == "sb" && hasParameter) {
      pard_.spaceBeforeTwips = std::clamp(value, 0, kMaxTwips);
    } else if (word == "sa" && hasParameter) {
      pard_.spaceAfterTwips = std::clamp(value, 0, kMaxTwips);
    } else if (word == "tqr" || word == "tqc" || word == "tqdec") {
      pard_.nextTabKind = word == "tqr"   ? TabStop::Kind::kRight
                          : word == "tqc" ? TabStop::Kind::kCenter
                                          : TabStop::Kind::kDecimal;
      return true;
    } else if (word == "tx" && hasParameter) {
      AddTabStop(TabStop{std::clamp(value, 0, kMaxTwips), pard_.nextTabKind});
      pard_.nextTabKind = TabStop::Kind::kLeft;
    } else if (word == "tb") {
      // A bar tab draws a line and is no stop; a kind before it was its own.
      pard_.nextTabKind = TabStop::Kind::kLeft;
      return true;
    } else {
      return false;
    }
    ApplyParagraphFormat(&paragraph());
    return true;
  }

  // Stops stay in ascending order, one a position, at most kMaxTabStops.
  void AddTabStop(const TabStop& stop) {
    std::vector<TabStop>& stops = pard_.tabStops;
    auto at = std::lower_bound(stops.begin(), stops.end(), stop,
                               [](const TabStop& a, const TabStop& b) { return a.positionTwips < b.positionTwips; });
    if (at != stops.end() && at->positionTwips == stop.positionTwips) {
      *at = stop;
    } else if (static_cast<int>(stops.size()) < kMaxTabStops) {
      stops.insert(at, stop);
    }
  }

  void ApplyParagraphFormat(Paragraph* target) const {
    target->spaceBeforeTwips = pard_.spaceBeforeTwips;
    target->spaceAfterTwips = pard_.spaceAfterTwips;
    target->tabStops = pard_.tabStops;
  }

  void TextByte(unsigned char byte) {
    if (Skipping()) return;
    const Destination destination = State().destination;
    if (destination == Destination::kColorTable) {
      if (byte == ';') {
        document_.colors.push_back(currentColor_);
        currentColor_ = Color();
      }
      return;
    }
    if (destination == Destination::kFontTable) {
      if (byte == ';') {
        FinishFontName();
      } else if (fontNameOpen_) {
        fontNameBytes_.push_back(static_cast<char>(byte));
      }
      return;
    }
    pendingBytes_.push_back(static_cast<char>(byte));
  }

  void Text(const std::wstring& text) {
    if (Skipping() || State().destination != Destination::kText) return;
    FlushBytes();
    Append(text);
  }

  void Append(const std::wstring& text) {
    if (text.empty()) return;
    Paragraph& current = paragraph();
    const CharFormat& format = State().format;
    if (current.runs.empty() || current.runs.back().format != format) current.runs.push_back(Run{std::wstring(), format});
    current.runs.back().text += text;
  }

  // The code page of text in the current font.
  unsigned CurrentCodePage() const {
    const int font = stack_.back().format.fontIndex;
    auto it = document_.fonts.find(font);
    if (it != document_.fonts.end()) {
      const unsigned fromCharset = CodePageOfCharset(it->second.charset);
      if (fromCharset != 0) return fromCharset;
    }
    return document_.codePage;
  }

  std::wstring Decode(const std::string& bytes, unsigned codePage) const {
    std::wstring out;
    // ASCII is the same in every code page RTF uses; only the rest needs
    // a conversion.
    std::size_t start = 0;
    while (start < bytes.size()) {
      std::size_t end = start;
      while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80) ++end;
      for (std::size_t i = start; i < end; ++i) out.push_back(static_cast<wchar_t>(bytes[i]));
      if (end == bytes.size()) break;
      std::size_t stop = end;
      while (stop < bytes.size() && static_cast<unsigned char>(bytes[stop]) >= 0x80) ++stop;
      // A double-byte character's trail byte may be plain ASCII: take it along.
      if (stop < bytes.size() && (stop - end) % 2 == 1 && codePage >= 932 && codePage <= 950) ++stop;
      const std::string piece = bytes.substr(end, stop - end);
      const int needed = win::MultiByteToWideChar(codePage, 0, piece.data(), static_cast<int>(piece.size()), nullptr, 0);
      if (needed > 0) {
        std::wstring wide(static_cast<std::size_t>(needed), L'\0');
        win::MultiByteToWideChar(codePage, 0, piece.data(), static_cast<int>(piece.size()), wide.data(), needed);
        out += wide;
      } else {
        out.append(piece.size(), L'\ufffd');
      }
      start = stop;
    }
    return out;
  }

  void FlushBytes() {
    if (pendingBytes_.empty()) return;
    const std::string bytes = std::move(pendingBytes_);
    pendingBytes_.clear();
    Append(Decode(bytes, CurrentCodePage()));
  }

  void FlushUnicode() {
    std::wstring text;
    for (char16_t unit : unicodeUnits_) text.push_back(static_cast<wchar_t>(unit));
    unicodeUnits_.clear();
    if (State().destination == Destination::kFontTable) {
      if (fontNameOpen_) fontName_ += Decode(fontNameBytes_, document_.codePage) + text;
      fontNameBytes_.clear();
      return;
    }
    if (State().destination == Destination::kText) Append(text);
  }

  void FinishFontName() {
    if (!fontNameOpen_) return;
    const int index = stack_.back().fontTableIndex;
    if (index >= 0) {
      Font& font = document_.fonts[index];
      unsigned codePage = CodePageOfCharset(font.charset);
      if (codePage == 0) codePage = document_.codePage;
      font.name = fontName_ + Decode(fontNameBytes_, codePage);
      while (!font.name.empty() && font.name.front() == L' ') font.name.erase(0, 1);
    }
    fontName_.clear();
    fontNameBytes_.clear();
    fontNameOpen_ = false;
  }

  void EndParagraph() {
    if (Skipping() || State().destination != Destination::kText) return;
    FlushBytes();
    NewParagraph();
  }

  void NewParagraph() {
    Paragraph next;
    ApplyParagraphFormat(&next);
    document_.paragraphs.push_back(std::move(next));
  }

  Paragraph& paragraph() { return document_.paragraphs.back(); }

  static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
  static int Hex(char c) { return IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

  std::string_view data_;
  std::size_t at_ = 0;
  Document document_;
  std::vector<GroupState> stack_;
  int depth_ = 0;     // groups on the stack below the base state
  int overflow_ = 0;  // groups opened beyond kMaxDepth, read as skipped
  bool ended_ = false;
  bool starredNext_ = false;
  bool firstInGroup_ = false;
  int skipCount_ = 0;
  std::string pendingBytes_;
  std::u16string unicodeUnits_;
  Color currentColor_;
  std::wstring fontName_;
  std::string fontNameBytes_;
  bool fontNameOpen_ = false;
  // The paragraph formatting in force since the last \pard.
  struct ParagraphFormat {
    int spaceBeforeTwips = 0;
    int spaceAfterTwips = 0;
    std::vector<TabStop> tabStops;
    TabStop::Kind nextTabKind = TabStop::Kind::kLeft;  // for the next \tx
  };
  ParagraphFormat pard_;
};

}  // namespace

std::wstring Paragraph::Text() const {
  std::wstring text;
  for (const Run& run : runs) text += run.text;
  return text;
}

std::wstring Document::PlainText() const {
  std::wstring text;
  for (const Paragraph& paragraph : paragraphs) text += paragraph.Text() + L"\n";
  return text;
}

unsigned CodePageOfCharset(int charset) {
  switch (charset) {
    case 128: return 932;   // Shift JIS
    case 129: return 949;   // Hangul
    case 130: return 1361;  // Johab
    case 134: return 936;   // GB2312
    case 136: return 950;   // Big5
    case 161: return 1253;
    case 162: return 1254;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 0: return 1252;
    default: return 0;
  }
}

Document ReadRtf(std::string_view data) { return Reader(data).Read(); }

}  // namespace rtf
