#pragma once

#include <string>
#include <string_view>

namespace platform {

// Text in the model, files and network is UTF-8; "wide" text (what the Windows-born parts of the
// program call UTF-16) is std::u16string. Malformed input never fails: an invalid UTF-8 sequence
// or a lone surrogate becomes U+FFFD, as the system converters do without strict flags.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

// The "ANSI" code page of the clipboard's CF_TEXT and of the network query's host name.
// We use Windows-1252 (the code page of Western European and US systems, a superset of
// ISO 8859-1 printable characters): it is what peers on such systems write, and every
// byte maps to a character. Characters it lacks become "?".
std::string utf16ToAnsi(std::u16string_view utf16);
std::u16string ansiToUtf16(std::string_view ansi);

}  // namespace platform
