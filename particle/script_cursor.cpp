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
