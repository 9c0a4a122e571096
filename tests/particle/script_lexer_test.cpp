#include "particle/script_lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "particle/script_token_kinds.h"

namespace {

using TokenView = std::pair<std::string, std::int32_t>;

std::vector<TokenView> Lex(const std::string& text) {
    script_token_list_t tokens;
    Tokenize(text.c_str(), tokens);
    std::vector<TokenView> views;
    for (const script_token_t& token : tokens) views.emplace_back(token.text, token.type);
    return views;
}

std::int32_t KindOf(const std::string& word) {
    script_token_t token{word, 0};
    ClassifyToken(token);
    return token.type;
}

struct LexCase {
    const char* text;
    std::vector<TokenView> tokens;
};

TEST(ScriptLexer, SplitsTextIntoTokens) {
    const LexCase cases[] = {
        {"", {}},
        {" \t\r\n\v\f", {}},
        {"// only a comment\n", {}},
        // A comment that reaches the end without a line feed leaves its first "/".
        {"// to the end", {{"/", kTokenOther}}},
        {"Position", {{"POSITION", kTokenPosition}}},
        {"\"Mixed Name\" 1", {{"\"Mixed Name\"", kTokenString}, {"1", kTokenNumber}}},
        // "=" ends no word.
        {"POSITION = XYZ(1,2,3)", {{"POSITION", kTokenPosition}, {"=", kTokenEquals}, {"XYZ", kTokenXyz},
                                   {"(", kTokenOpenParen}, {"1", kTokenNumber}, {",", kTokenComma},
                                   {"2", kTokenNumber}, {",", kTokenComma}, {"3", kTokenNumber},
                                   {")", kTokenCloseParen}}},
        {"POSITION=XYZ(1", {{"POSITION=XYZ", kTokenXyz}, {"(", kTokenOpenParen}, {"1", kTokenNumber}}},
        {"=5", {{"=5", kTokenEquals}}},
        // "(" after white space starts a word: the first number of the pair is lost.
        {"RANDOM (1,2)", {{"RANDOM", kTokenRandom}, {"(1", kTokenOpenParen}, {",", kTokenComma},
                          {"2", kTokenNumber}, {")", kTokenCloseParen}}},
        {"{}", {{"{", kTokenOpenBrace}, {"}", kTokenCloseBrace}}},
        {"a/b", {{"A", kTokenOther}, {"/", kTokenOther}, {"B", kTokenOther}}},
        {"/ab", {{"/AB", kTokenOther}}},
        // A word glued to "//" goes with the comment.
        {"abc// gone\nx", {{"X", kTokenOther}}},
        // A glued quote: the quoted token starts with the word and has no opening quote.
        {"ABC\"def\"", {{"ABC", kTokenOther}, {"ABCDEF\"", kTokenOther}, {"ABCDEF\"", kTokenOther}}},
        {"TEXTURE=\"x\"", {{"TEXTURE=", kTokenTexture}, {"TEXTURE=X\"", kTokenTexture},
                           {"TEXTURE=X\"", kTokenTexture}}},
        // Quoted strings hold everything up to the next quote, comments and newlines too.
        {"\"a // b\nc\"", {{"\"a // b\nc\"", kTokenString}, {"\"a // b\nc\"", kTokenString}}},
        // Unterminated: runs to the end and keeps its text.
        {"\"abc def", {{"\"abc def", kTokenString}}},
        // The last token stays pending after it is pushed, so white space after it repeats it.
        {"x ", {{"X", kTokenOther}, {"X", kTokenOther}}},
        {"}\n", {{"}", kTokenCloseBrace}, {"}", kTokenCloseBrace}}},
        {"XYZ (1,2,3)", {{"XYZ", kTokenXyz}, {"(1", kTokenOpenParen}, {",", kTokenComma}, {"2", kTokenNumber},
                         {",", kTokenComma}, {"3", kTokenNumber}, {")", kTokenCloseParen}}},
        // Bytes above 0x7F are word characters and keep their value.
        {"\xC3\xA9t\xE9", {{"\xC3\xA9T\xE9", kTokenOther}}},
    };
    for (const LexCase& c : cases) EXPECT_EQ(Lex(c.text), c.tokens) << "text: [" << c.text << "]";
}

TEST(ScriptLexer, AWordGluedToACommentGoesWithItUpToTheEndOfTheText) {
    EXPECT_EQ(Lex("abc//x"), std::vector<TokenView>{});
    EXPECT_EQ(Lex("x abc//"), (std::vector<TokenView>{{"X", kTokenOther}}));
}

TEST(ScriptLexer, StopsAtTheFirstNul) {
    const char text[] = "PARTICLE\0SOUND";
    script_token_list_t tokens;
    Tokenize(text, tokens);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].type, kTokenParticle);
    Tokenize(nullptr, tokens);
    EXPECT_EQ(tokens.size(), 1u);
}

TEST(ScriptLexer, OneMegabyteToken) {
    const std::string word(1 << 20, 'q');
    const std::vector<TokenView> tokens = Lex(word);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].first, std::string(1 << 20, 'Q'));
    EXPECT_EQ(tokens[0].second, kTokenOther);
    const std::string quoted = "\"" + word;
    EXPECT_EQ(Lex(quoted).at(0).first.size(), quoted.size());
}

TEST(ScriptLexer, ClassifiesInTheFormatsOrder) {
    const std::pair<const char*, std::int32_t> cases[] = {
        // By the first character; the text keeps its case.
        {"0", kTokenNumber}, {"-", kTokenNumber}, {"-x", kTokenNumber}, {"9abc", kTokenNumber},
        {".5", kTokenOther}, {"+5", kTokenOther}, {",x", kTokenComma}, {")", kTokenCloseParen},
        {"{", kTokenOpenBrace}, {"\"", kTokenString},
        // Keywords, in test order.
        {"particleemitter", kTokenParticleEmitter}, {"PARTICLEBEAM", kTokenParticleBeam},
        {"random", kTokenRandom}, {"XYZ", kTokenXyz}, {"UV", kTokenUv}, {"RGBA", kTokenRgba},
        {"RGB", kTokenRgb}, {"FADE", kTokenFade}, {"TRUE", kTokenTrue}, {"true", kTokenTrue},
        {"TRUEX", kTokenOther}, {"FALSE", kTokenFalse}, {"INITIAL", kTokenInitial},
        {"FINAL", kTokenFinal}, {"TEXTURE", kTokenTexture}, {"REFPOINT", kTokenRefPoint},
        {"so", kTokenSo}, {"SOX", kTokenOther}, {"at", kTokenAt}, {"COORDS_2D", kTokenCoordsName},
        {"EMITTERLIFE", kTokenEmitterProperty}, {"EMITTERRATE", kTokenEmitterProperty},
        {"D3DBLENDOP_ADD", kTokenBlendOpName}, {"BLENDOP", kTokenBlendOpProperty},
        {"D3DBLEND_ONE", kTokenBlendName}, {"SOURCEBLENDMODE", kTokenBlendModeProperty},
        {"DESTBLENDMODE", kTokenBlendModeProperty}, {"PM_BILLBOARD", kTokenParticleModeName},
        {"PARTICLEMODE", kTokenParticleModeProperty}, {"PAT_SPECIFY", kTokenAngleTypeName},
        {"PARTICLEANGLETYPE", kTokenAngleTypeProperty}, {"MS_POINT", kTokenMuzzleShapeName},
        {"MUZZLESHAPE", kTokenMuzzleShapeProperty}, {"CHG_MODE_NONE", kTokenChgModeName},
        {"CHGMODE", kTokenChgModeProperty}, {"D3DTOP_ADD", kTokenTextureOpName},
        {"COLOROP", kTokenTextureOpProperty}, {"ALPHAOP", kTokenTextureOpProperty},
        {"LIFETIME", kTokenNumberProperty}, {"LOOPS", kTokenNumberProperty},
        {"ANIMTIME_3", kTokenNumberProperty}, {"ANIMSIZE", kTokenNumberProperty},
        {"EMITSPEED", kTokenNumberProperty}, {"NUMPARTICLES", kTokenNumberProperty},
        {"TRACKTIME", kTokenNumberProperty}, {"SINGLEPARTICLE", kTokenBoolProperty},
        {"TRACKRAND", kTokenBoolProperty}, {"SOUNDFILE", kTokenSoundText},
        {"SOUNDMAXDISTANCE", kTokenSoundNumber}, {"SOUND3D", kTokenSound3D},
        {"PLAYSOUND", kTokenSoundText}, {"Sound", kTokenSound}, {"SPAWNDIR", kTokenVectorProperty},
        {"EMITRADIUS", kTokenVectorProperty}, {"POSITION", kTokenPosition},
        {"COORDINATES", kTokenCoordinates}, {"SIZEX", kTokenEventScalar}, {"SPEED", kTokenEventScalar},
        {"MOTIONANGLE", kTokenEventScalar}, {"EVENTTIMER", kTokenEventScalar},
        {"VELOCITYZ", kTokenEventVector}, {"BEAMPOS", kTokenEventVector},
        {"REDCOLOR", kTokenEventColor}, {"ALPHA", kTokenEventColor}, {"ALPHAS", kTokenOther},
        {"PARTICLE", kTokenParticle}, {"PARTICLES", kTokenOther}, {"", kTokenOther},
        // Order decides between keywords one token contains.
        {"FADEINITIAL", kTokenFade}, {"UVRANDOM", kTokenRandom}, {"TEXTUREPOSITION", kTokenTexture},
        {"SOUNDSIZE", kTokenSound}, {"COLORSPEED", kTokenEventScalar},
    };
    for (const auto& [word, kind] : cases) EXPECT_EQ(KindOf(word), kind) << word;

    script_token_t number{"1e5abc", 0};
    ClassifyToken(number);
    EXPECT_EQ(number.text, "1e5abc");
    script_token_t quoted{"\"keep\"", 0};
    ClassifyToken(quoted);
    EXPECT_EQ(quoted.text, "\"keep\"");
}

TEST(ScriptLexer, PushTokenDropsEmptyText) {
    script_token_list_t tokens;
    script_token_t empty;
    PushToken(tokens, empty);
    script_token_t word{"flipx", 0};
    PushToken(tokens, word);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].text, "FLIPX");
    EXPECT_EQ(word.text, "FLIPX");  // classified in place
}

TEST(ScriptLexer, KeywordPredicatesAreSubstringTests) {
    EXPECT_TRUE(HasKeyword("ANIMTIME_3", ScriptKeyword::AnimTime));
    EXPECT_FALSE(HasKeyword("ANIMTIME_3", ScriptKeyword::AnimTimes));
    EXPECT_TRUE(HasKeyword("ANIMTIMES", ScriptKeyword::AnimTime));
    EXPECT_TRUE(HasKeyword("XEMITRATEX", ScriptKeyword::EmitRate));
    EXPECT_FALSE(HasKeyword("emitrate", ScriptKeyword::EmitRate));  // texts are upper-cased first
    EXPECT_TRUE(HasKeyword("SOUNDMAXDISTANCE", ScriptKeyword::SoundMaxDistance));
    EXPECT_FALSE(HasKeyword("SOUNDMAXDISTANCE", ScriptKeyword::SoundMinDistance));
    EXPECT_TRUE(HasKeyword("EMITTERLIFE", ScriptKeyword::EmitterLife));
    EXPECT_FALSE(HasKeyword("EMITTERLIFE", ScriptKeyword::EmitterRate));
}

}  // namespace
