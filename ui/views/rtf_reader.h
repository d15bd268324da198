#pragma once

#include <string_view>

class QTextDocument;

// Shows rich text from RTF bytes: groups, the font and colour tables, bold, italic, underline,
// font sizes, colours, paragraphs and line breaks, \uN and \'hh escapes, and table cells as
// plain rows (cells separated by tabs). Everything else (pictures, objects, style sheets,
// document information) is left out. The bytes come from other programs: any input, however
// deeply nested, truncated or full of huge numbers, gives a document and never a crash.
void readRtf(std::string_view rtf, QTextDocument& document);
