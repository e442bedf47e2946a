// Fills a Qt text document from an RTF document read by the RTF reader:
// paragraphs with their spacing and tab stops, the default tab stops, runs
// with font, size, bold, italic, underline and colour.
#pragma once

#include <QFont>
#include <QTextDocument>

#include "ui/rtf_reader.h"

// Replaces the content of `target` with `document`; text without a font of
// its own uses `defaultFont`. Distances in twips (spacing, tab stops) become
// pixels at `dpi`, the resolution of the page that shows the document.
void FillTextDocument(const rtf::Document& document, const QFont& defaultFont, QTextDocument* target, int dpi);
