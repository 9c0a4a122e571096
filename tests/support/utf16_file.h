#pragma once
// Reading the UTF-16LE text files the library writes (the event log).
#include <string>
#include <string_view>
#include <vector>

namespace lumi::test {

struct Utf16File {
    bool exists = false;
    bool hasBom = false;      // the file began with FF FE (stripped from `text`)
    bool oddLength = false;   // a trailing single byte was left over (and ignored)
    std::u16string text;
};

// Reads the whole file; `exists` is false (and the rest empty) when it cannot be opened.
Utf16File ReadUtf16LeFile(const std::string& path);

// Splits at every "\r\n". Text after the last "\r\n" becomes a last line when not empty,
// so "a\r\nb\r\n" gives {"a", "b"} and "a\r\nb" gives {"a", "b"} too; a lone '\r' or '\n'
// stays inside its line.
std::vector<std::u16string> SplitCrLfLines(std::u16string_view text);

}  // namespace lumi::test
