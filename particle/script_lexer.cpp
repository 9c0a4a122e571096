#include "particle/script_lexer.h"

#include <array>

#include "particle/script_token_kinds.h"

namespace {

// The C library's isspace in the "C" locale; bytes above 0x7F are never white space.
bool IsScriptSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Characters that end a word and stand as tokens of their own.
bool IsSingleCharToken(char c) { return c == '(' || c == ')' || c == ',' || c == '{' || c == '}'; }

// The kind given by the first character, or 0 when the keywords decide.
std::int32_t KindOfFirstChar(char c) {
    if (IsDigit(c) || c == '-') return kTokenNumber;
    switch (c) {
        case '=': return kTokenEquals;
        case ',': return kTokenComma;
        case '(': return kTokenOpenParen;
        case ')': return kTokenCloseParen;
        case '{': return kTokenOpenBrace;
        case '}': return kTokenCloseBrace;
        case '"': return kTokenString;
        default: return 0;
    }
}

constexpr std::array<const char*, 48> kKeywordTexts = {
    "POSITION", "COORDINATES", "EMITTERLIFE", "EMITTERRATE", "EMITRATE", "SPAWNDIR", "EMITANGLE",
    "EMITSPEED", "EMITRADIUS", "LIFETIME", "NUMPARTICLES", "DELAYTIMER", "ANIMROW", "ANIMCOW",
    "ANIMTIME", "ANIMTIMES", "ANIMACTUALCOUNT", "ANIMSIZE", "STARTANIMINDEX", "GRAVITY",
    "SOURCEBLENDMODE", "DESTBLENDMODE", "ALPHAOP", "COLOROP", "BLENDOP", "SINGLEPARTICLE",
    "ISANIM", "TRACKMODE", "TRACKRAND", "TRACKCOUNT", "TRACKINDEX", "TRACKTIME",
    "ATTACHEDTOEMITTER", "CIRCLEBEAM", "CIRCLEPLAY", "FLIPX", "FLIPY", "LOCKASPECT", "EMITRAND",
    "PARTICLEMODE", "PARTICLEANGLETYPE", "MUZZLESHAPE", "CHGMODE", "SOUNDFILE", "SOUNDVOLUME",
    "SOUND3D", "SOUNDMINDISTANCE", "SOUNDMAXDISTANCE",
};
static_assert(static_cast<std::size_t>(ScriptKeyword::SoundMaxDistance) + 1 == kKeywordTexts.size());

}  // namespace

void UpperCaseToken(std::string& text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
}

void ClassifyToken(script_token_t& token) {
    token.type = kTokenOther;
    if (!token.text.empty()) {
        if (const std::int32_t kind = KindOfFirstChar(token.text[0])) {
            token.type = kind;
            return;
        }
    }
    UpperCaseToken(token.text);
    const std::string_view text = token.text;
    for (const script_token_rule_t& rule : ScriptTokenRules()) {
        const bool holds = rule.match == script_token_rule_t::kEquals ? text == rule.keyword
                                                                       : text.find(rule.keyword) != std::string_view::npos;
        if (holds) {
            token.type = rule.type;
            return;
        }
    }
}

void PushToken(script_token_list_t& tokens, script_token_t& token) {
    if (token.text.empty()) return;
    ClassifyToken(token);
    tokens.push_back(token);
}

void Tokenize(const char* text, script_token_list_t& tokens) {
    if (text == nullptr) return;
    enum State { kBetween, kWord, kQuoted, kComment };
    State state = kBetween;
    // The pending token. A push leaves its (classified) text here, so what a later step does
    // not replace is pushed again at the end of the text: scripts live with that, since it
    // only ever repeats the last token.
    script_token_t pending;
    auto push = [&] { PushToken(tokens, pending); };
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        const bool commentStart = c == '/' && p[1] == '/';
        switch (state) {
            case kBetween:
                if (IsScriptSpace(c)) break;
                pending.text.assign(1, c);
                state = commentStart ? kComment : c == '"' ? kQuoted : kWord;
                break;
            case kWord:
                if (IsScriptSpace(c)) {
                    push();
                    state = kBetween;
                } else if (commentStart) {
                    // The pending word goes with the comment, also when the comment runs to
                    // the end of the text.
                    pending.text.clear();
                    state = kComment;
                } else if (c == '"') {
                    push();
                    state = kQuoted;  // the quoted token starts with the word just pushed
                } else if (IsSingleCharToken(c) || c == '/') {
                    push();
                    pending.text.assign(1, c);
                    push();
                    pending.text.clear();
                } else {
                    pending.text += c;
                }
                break;
            case kQuoted:
                pending.text += c;
                if (c == '"') {
                    push();
                    state = kBetween;
                }
                break;
            case kComment:
                if (c == '\n') {
                    pending.text.clear();
                    state = kBetween;
                }
                break;
        }
    }
    push();
}

bool HasKeyword(std::string_view text, ScriptKeyword keyword) {
    return text.find(kKeywordTexts[static_cast<std::size_t>(keyword)]) != std::string_view::npos;
}
