#pragma once
// The particle script reader's token cursor and its error.
//
// Every reader error is a ScriptError carrying the reader's message; the emitter's compile
// step catches it (before any other exception) and keeps the message as the compile error.
// Messages are the file format's own texts, spelling included.
#include <string>

#include "core/exception.h"
#include "particle/script_lexer.h"

class ScriptError : public lumi::Exception {
public:
    using lumi::Exception::Exception;
};

// A position in a token list and the list's end. The list must outlive the cursor.
struct script_cursor_t {
    const script_token_t* position = nullptr;
    const script_token_t* end = nullptr;

    script_cursor_t() = default;
    explicit script_cursor_t(const script_token_list_t& tokens)
        : position(tokens.data()), end(tokens.data() + tokens.size()) {}

    bool AtEnd() const { return position == end; }
};

inline constexpr const char kUnexpectedEndOfFile[] = "Unexpected end-of-file.";

// Moves to the next token. At the end: throws ScriptError "Unexpected end-of-file.".
void NextToken(script_cursor_t& cursor);

// The token under the cursor. At the end: throws ScriptError "Unexpected end-of-file.".
const script_token_t& CurrentToken(const script_cursor_t& cursor);

// The token's text without its double quotes. Each quote is removed and the character right
// after a removed quote is kept without being looked at, so two quotes in a row leave one;
// but an empty quoted string ("") gives an empty text.
std::string StripQuotes(const script_token_t& token);
