#include "particle/script_cursor.h"

void NextToken(script_cursor_t& cursor) {
    if (cursor.AtEnd()) throw ScriptError(kUnexpectedEndOfFile);
    ++cursor.position;
}

const script_token_t& CurrentToken(const script_cursor_t& cursor) {
    if (cursor.AtEnd()) throw ScriptError(kUnexpectedEndOfFile);
    return *cursor.position;
}

std::string StripQuotes(const script_token_t& token) {
    const std::string& text = token.text;
    // An empty quoted string is empty: the rule below would keep its closing quote, and a
    // name read so would be written back as three quotes, which no longer pair.
    if (text == "\"\"") return std::string();
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '"') {
            result += text[i];
        } else if (i + 1 < text.size()) {
            result += text[++i];
        }
    }
    return result;
}
