// The particle script reference (docs/particle-scripts.md) names every keyword the reader
// knows and every enumeration name, so that it cannot fall behind the reader.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "particle/script_enums.h"
#include "particle/script_lexer.h"

namespace {

bool IsWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Whether `word` stands in `text` as a word of its own (COORDS_ counts in "`COORDS_` names",
// D3DTOP_ADD does not count inside D3DTOP_ADDSIGNED).
bool HasWord(const std::string& text, const std::string& word) {
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const bool startsWord = at == 0 || !IsWordChar(text[at - 1]);
        const std::size_t end = at + word.size();
        if (startsWord && (end == text.size() || !IsWordChar(text[end]))) return true;
    }
    return false;
}

TEST(ScriptReference, NamesEveryKeywordAndEnumerationName) {
    std::ifstream file(LUMI_PARTICLE_REFERENCE, std::ios::binary);
    ASSERT_TRUE(file) << "cannot read " << LUMI_PARTICLE_REFERENCE;
    std::ostringstream read;
    read << file.rdbuf();
    const std::string reference = read.str();

    std::vector<std::string> missing;
    for (const script_token_rule_t& rule : ScriptTokenRules())
        if (!HasWord(reference, rule.keyword)) missing.push_back(rule.keyword);
    for (const script_enum_table_t* table : {&kBlendModeNames, &kTextureOpNames, &kBlendOpNames, &kCoordsTypeNames,
                                             &kParticleModeNames, &kAngleTypeNames, &kMuzzleShapeNames, &kChgModeNames})
        for (const script_enum_row_t& row : table->rows)
            if (!HasWord(reference, row.name)) missing.push_back(row.name);

    std::string list;
    for (const std::string& word : missing) list += " " + word;
    EXPECT_TRUE(missing.empty()) << "docs/particle-scripts.md does not name:" << list;
}

}  // namespace
