#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32/files.h"
#include "platform/win32/text.h"
#include "tests/support/invalid_parameters.h"
#include "tests/support/utf16_file.h"
#include "tests/support/work_folder.h"

namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadAll(FILE* file) {
    std::string text;
    char buffer[64];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, n);
    return text;
}

class FilesTest : public ::testing::Test {
protected:
    lumi::test::TempWorkFolder folder_;
};

TEST_F(FilesTest, UpperCasedTextureKeysOpenFilesWhateverTheirCase) {
    std::filesystem::create_directories("Data/Ui");
    WriteBytes("Data/Ui/Btn_a.png", "button");

    EXPECT_EQ(win32::ResolvePathCaseInsensitive("DATA/UI/BTN_A.PNG"), "Data/Ui/Btn_a.png");
    FILE* file = _wfopen(u"DATA\\UI\\BTN_A.PNG", u"rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "button");
    std::fclose(file);

    // Absolute paths resolve too; the folder part exists as written.
    const std::string absolute = folder_.File("DATA/ui/btn_A.png");
    EXPECT_EQ(win32::ResolvePathCaseInsensitive(absolute), folder_.File("Data/Ui/Btn_a.png"));
}

TEST_F(FilesTest, ExactNamesWinAndNewFilesLandInTheExistingFolder) {
    WriteBytes("a.txt", "lower");
    WriteBytes("A.txt", "upper");
    FILE* file = _wfopen(u"A.txt", u"rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "upper");
    std::fclose(file);

    // "wb" to a file that does not exist yet: the folder resolves, the new name is kept.
    file = _wfopen(u"LOGS\\New.log", u"wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_TRUE(std::filesystem::exists("logs/New.log"));
    EXPECT_FALSE(std::filesystem::exists("LOGS"));

    // Non-ASCII names match exactly only (the library folds ASCII letters alone).
    std::filesystem::create_directory("Données");
    WriteBytes("Données/x", "x");
    EXPECT_EQ(win32::ResolvePathCaseInsensitive("DONNéES/X"), "Données/x");
    EXPECT_EQ(win32::ResolvePathCaseInsensitive("DONNÉES/X"), "DONNÉES/X");
}

TEST_F(FilesTest, FileLengthAndBadArguments) {
    WriteBytes("five.bin", "12345");
    FILE* file = _wfopen(u"FIVE.BIN", u"rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(_filelength(_fileno(file)), 5);
    std::fclose(file);

    EXPECT_EQ(_fileno(nullptr), -1);
    EXPECT_EQ(_filelength(-1), -1);
    EXPECT_EQ(_filelength(987654), -1);
    EXPECT_EQ(_wfopen(u"", u"rb"), nullptr);
    EXPECT_EQ(_wfopen(u"missing/file.bin", u"rb"), nullptr);
    EXPECT_EQ(_wfopen(u"missing/file.bin", u"wb"), nullptr);

    // What the Windows runtime refuses takes its invalid-parameter path.
    lumi::test::InvalidParameterCount invalid;
    int expected = 0;
    for (const char16_t* mode : {u"", u"x", u"rq", u"rtb", u"rbb", u"r++", u"w+t+", u"brw"}) {
        EXPECT_EQ(_wfopen(u"five.bin", mode), nullptr) << win32::Utf16ToUtf8(mode);
        EXPECT_EQ(invalid.Count(), ++expected) << win32::Utf16ToUtf8(mode);
    }
    EXPECT_EQ(_wfopen(nullptr, u"rb"), nullptr);
    EXPECT_EQ(_wfopen(u"five.bin", nullptr), nullptr);
    EXPECT_EQ(invalid.Count(), expected + 2);
    for (const char16_t* mode : {u"rb+", u"r+b", u"rt", u"r+", u"r"}) {
        FILE* opened = _wfopen(u"five.bin", mode);
        EXPECT_NE(opened, nullptr) << win32::Utf16ToUtf8(mode);
        if (opened != nullptr) std::fclose(opened);
    }
    EXPECT_EQ(invalid.Count(), expected + 2);
}

TEST_F(FilesTest, TextModeTranslatesLineEnds) {
    WriteBytes("lines.txt", "one\r\ntwo\rthree\r\n\x1Ahidden");
    FILE* text = _wfopen(u"lines.txt", u"r");  // text is the default
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(ReadAll(text), "one\ntwo\rthree\n") << "CR LF becomes LF; Ctrl+Z ends the text";
    EXPECT_EQ(_filelength(_fileno(text)), 23);
    std::fclose(text);
    FILE* binary = _wfopen(u"lines.txt", u"rb");
    ASSERT_NE(binary, nullptr);
    EXPECT_EQ(ReadAll(binary).size(), 23u);
    std::fclose(binary);

    FILE* out = _wfopen(u"written.txt", u"wt");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fputs("a\nb\n", out), 1);
    EXPECT_EQ(std::ftell(out), 6) << "positions count the file's bytes";
    std::fclose(out);
    WriteBytes("ends.txt", "x\r\n\x1A");
    FILE* append = _wfopen(u"ends.txt", u"a");
    ASSERT_NE(append, nullptr);
    std::fputs("y\n", append);
    std::fclose(append);

    std::ifstream written("written.txt", std::ios::binary), ends("ends.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "a\r\nb\r\n");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(ends), {}), "x\r\ny\r\n") << "the Ctrl+Z ending the file goes";
}

TEST_F(FilesTest, NamesFollowWindowsTrailingDotAndSpaceRules) {
    std::filesystem::create_directories("Dir");
    WriteBytes("Dir/name.txt", "found");
    struct Case {
        const char16_t* path;
        const char* resolved;
    } cases[] = {
        {u"Dir\\name.txt.", "Dir/name.txt"},      {u"Dir\\name.txt . .", "Dir/name.txt"},
        {u"Dir.\\name.txt", "Dir/name.txt"},      {u"DIR.\\NAME.TXT  ", "Dir/name.txt"},
        {u"...\\x", ".../x"},                    {u"Dir\\..\\Dir\\name.txt", "Dir/../Dir/name.txt"},
        {u"Dir\\new.log .", "Dir/new.log"},      {u"Dir/", "Dir/"},
    };
    for (const Case& c : cases) {
        const std::string path = win32::Utf16ToUtf8(c.path);
        EXPECT_EQ(win32::ResolvePathCaseInsensitive(path), c.resolved) << path;
    }
    FILE* file = _wfopen(u"dir\\NAME.txt. ", u"rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "found");
    std::fclose(file);
}

TEST_F(FilesTest, OpenFailureSwitchFailsExactlyTheNextOpens) {
    win32::FailNextFileOpens(2);
    EXPECT_EQ(_wfopen(u"logs/x.log", u"wb"), nullptr);
    EXPECT_EQ(_wfopen(u"logs/x.log", u"a+b"), nullptr);
    FILE* file = _wfopen(u"logs/x.log", u"a+b");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    win32::FailNextFileOpens(0);
}

TEST_F(FilesTest, WorkFolderHasLogsAndTheUtf16ReaderSplitsCrLfLines) {
    EXPECT_EQ(std::filesystem::current_path(), folder_.Path());
    ASSERT_TRUE(std::filesystem::is_directory("logs"));

    // "A\r\n" + "\x4E2D\r" + "\r\n" + "\n" then an odd trailing byte.
    WriteBytes("logs/t.log", std::string("\xFF\xFE" "A\0\r\0\n\0\x2D\x4E\r\0\r\0\n\0\n\0\x01", 19));
    const lumi::test::Utf16File file = lumi::test::ReadUtf16LeFile("logs/t.log");
    EXPECT_TRUE(file.exists);
    EXPECT_TRUE(file.hasBom);
    EXPECT_TRUE(file.oddLength);
    EXPECT_EQ(file.text, u"A\r\n\u4E2D\r\r\n\n");
    const std::vector<std::u16string> lines = lumi::test::SplitCrLfLines(file.text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], u"A");
    EXPECT_EQ(lines[1], u"\u4E2D\r");
    EXPECT_EQ(lines[2], u"\n");
    EXPECT_EQ(lumi::test::SplitCrLfLines(u"a\r\n\r\nb"), (std::vector<std::u16string>{u"a", u"", u"b"}));

    EXPECT_FALSE(lumi::test::ReadUtf16LeFile("logs/none.log").exists);
}

}  // namespace
