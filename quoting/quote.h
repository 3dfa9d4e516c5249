#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text from outside (file contents, file names, arguments, instruments)
// made safe to show in a message, a report or a label: it can neither act
// on a terminal nor start a line of its own, and a quoted token has a
// bounded length.
//
// Escaping: printable ASCII and valid UTF-8 stay as they are; a backslash
// becomes "\\"; tab, line feed and carriage return "\t", "\n", "\r"; other
// control bytes, DEL and each byte of invalid UTF-8 "\xHH"; the C1 controls,
// the line and paragraph separators and the bidirectional formatting marks
// (which reorder what a terminal shows) "\u{HHHH}". Inside quotes a quote
// becomes "\'".
//
// Worked examples (results shown as the characters they hold):
//   escapedText("a" ESC "]0;t" BEL) gives  a\x1b]0;t\x07
//   quotedToken("R&D") gives  'R&D';  quotedToken("it's") gives  'it\'s'
//   quotedToken of 50 letters "a" gives  'aaa...a...'  (40 letters, then "...")
//   quotedToken of the bytes FF FE 23 gives  '\xff\xfe#'
//   quotedName("lc.s1p") gives  lc.s1p;  quotedName("my sweep.s1p") gives
//   'my sweep.s1p';  quotedName("x" LF "PASS.s1p") gives  'x\nPASS.s1p'
//   csvField("a.s2p") gives  a.s2p;  csvField("bench 2, left") gives
//   "bench 2, left";  csvField("=HYPERLINK(1)") gives  '=HYPERLINK(1)
namespace varnel {

// The characters of a token kept before "...".
inline constexpr std::size_t quotedTokenLength = 40;

// The text with every unsafe character escaped, not quoted, not cut.
std::string escapedText(std::string_view text);

// A token from outside, escaped, cut after quotedTokenLength characters
// with "...", not quoted (for a token in brackets of its own: "[Version]").
std::string escapedToken(std::string_view text);

// A token from outside in single quotes, escaped, cut after
// quotedTokenLength characters with "...".
std::string quotedToken(std::string_view text);

// A file name or path as messages show it: as it is when it holds nothing
// but letters, digits and . _ - + / , : @ % = ~ (and non-ASCII letters);
// otherwise in single quotes, escaped (never cut: the system bounds it).
std::string quotedName(std::string_view name);

// A text from outside as one field of a CSV row: escaped as escapedText
// (so that it stays on its line), a leading = + - @ put after a ' (so that
// a spreadsheet reads text, not a formula), and in double quotes, a quote
// doubled, when it holds a comma or a quote.
std::string csvField(std::string_view text);

// A text from outside as HTML or XML text or attribute value: escaped as
// escapedText, then & < > " ' as character references.
std::string htmlText(std::string_view text);

// A name from outside to compare as a keyword: its ASCII letters in upper
// case, every other byte as it was (the same in every locale).
std::string asciiUpper(std::string_view text);

} // namespace varnel
