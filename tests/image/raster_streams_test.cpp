// The memory and stdio streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/raster_io_file.h"
#include "image/raster_mem_file.h"
#include "tests/support/work_folder.h"

namespace {

TEST(RasterMemFile, ReadsWholeItemsFromACallersBuffer) {
    unsigned char bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    CRasterMemFile file(bytes, sizeof(bytes));
    unsigned char out[12] = {};
    EXPECT_EQ(file.Read(out, 4, 3), 2u);  // 10 bytes copied, a partial third item
    EXPECT_EQ(out[9], 9);
    EXPECT_EQ(file.Read(out, 1, 1), 0u);
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.Read(nullptr, 1, 1), 0u);

    EXPECT_TRUE(file.Seek(-5, 0));
    EXPECT_EQ(file.Tell(), 0);
    EXPECT_TRUE(file.Seek(3, 1));
    EXPECT_EQ(file.GetC(), 3);
    EXPECT_FALSE(file.Seek(0, 3));
    EXPECT_TRUE(file.Seek(100, 2));
    EXPECT_EQ(file.Tell(), 110);
    EXPECT_EQ(file.Error(), 1);
    EXPECT_EQ(file.GetC(), -1);
    EXPECT_FALSE(file.Seek(0x7FFFFFFF, 1));  // positions stay below 2 GiB
    EXPECT_EQ(file.Scanf("%d", nullptr), 0);
}

// Each read from position `from` of the bytes 0..9: what it returns, where it leaves the
// position and how many bytes it copies (the rest of the target keeps its 0xEE fill).
TEST(RasterMemFile, ReadEdges) {
    struct Case {
        const char* what;
        long from;
        bool nullTarget;
        unsigned size, count;
        unsigned items;
        long position;
        unsigned copied;
    };
    const Case cases[] = {
        {"whole items", 2, false, 2, 3, 3, 8, 6},
        {"short read at the end keeps the partial item", 7, false, 2, 3, 1, 10, 3},
        {"at the end", 10, false, 1, 1, 0, 10, 0},
        {"past the end", 12, false, 1, 1, 0, 12, 0},
        {"zero size", 2, false, 0, 5, 0, 2, 0},
        {"zero count", 2, false, 4, 0, 0, 2, 0},
        {"null target", 2, true, 1, 4, 0, 2, 0},
        // 65536 x 65536 is 0 in 32 bits: the product must not wrap.
        {"size x count past 32 bits", 4, false, 65536, 65536, 0, 10, 6},
    };
    for (const Case& c : cases) {
        unsigned char bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        CRasterMemFile file(bytes, sizeof(bytes));
        ASSERT_TRUE(file.Seek(c.from, 0)) << c.what;
        unsigned char out[16];
        std::memset(out, 0xEE, sizeof(out));
        EXPECT_EQ(file.Read(c.nullTarget ? nullptr : out, c.size, c.count), c.items) << c.what;
        EXPECT_EQ(file.Tell(), c.position) << c.what;
        for (unsigned i = 0; i < sizeof(out); ++i)
            EXPECT_EQ(out[i], i < c.copied ? bytes[c.from + i] : 0xEE) << c.what << ", byte " << i;
    }
    // No buffer: never opened, or an owned one closed.
    unsigned char out[4];
    CRasterMemFile none;
    EXPECT_EQ(none.Read(out, 1, 4), 0u);
    CRasterMemFile closed;
    ASSERT_TRUE(closed.Open());
    ASSERT_EQ(closed.Write("abcd", 1, 4), 4u);
    ASSERT_TRUE(closed.Seek(0, 0));
    ASSERT_TRUE(closed.Close());
    EXPECT_EQ(closed.Read(out, 1, 4), 0u);
    EXPECT_EQ(closed.Tell(), -1);
}

TEST(RasterMemFile, GrowsInSixtyFourKilobyteSteps) {
    CRasterMemFile file;
    ASSERT_TRUE(file.Open());
    EXPECT_FALSE(file.Open());
    const unsigned char one = 1;
    EXPECT_EQ(file.Write(&one, 1, 1), 1u);
    EXPECT_EQ(file.Capacity(), 65536u);
    ASSERT_TRUE(file.Seek(65536, 0));
    EXPECT_EQ(file.Write(&one, 1, 1), 1u);
    EXPECT_EQ(file.Capacity(), 131072u);
    EXPECT_EQ(file.Size(), 65537);

    // The gap a seek left behind reads back as zeros.
    ASSERT_TRUE(file.Seek(100, 0));
    unsigned char gap[4] = {9, 9, 9, 9};
    EXPECT_EQ(file.Read(gap, 1, 4), 4u);
    EXPECT_EQ(gap[0] | gap[1] | gap[2] | gap[3], 0);

    unsigned char* detached = file.GetBuffer(true);
    ASSERT_NE(detached, nullptr);
    EXPECT_TRUE(file.Close());  // the caller owns it now
    EXPECT_EQ(detached[65536], 1);
    std::free(detached);
}

TEST(RasterMemFile, WritingPastACallersBufferCopiesIt) {
    unsigned char stackBytes[4] = {'a', 'b', 'c', 'd'};
    {
        CRasterMemFile file(stackBytes, sizeof(stackBytes));
        ASSERT_TRUE(file.Seek(0, 2));
        EXPECT_TRUE(file.PutC('e'));  // would be realloc of stack memory if not copied
        EXPECT_EQ(file.Size(), 5);
        EXPECT_NE(file.GetBuffer(), stackBytes);
        EXPECT_EQ(file.GetBuffer()[0], 'a');
        ASSERT_TRUE(file.Seek(0, 0));
        EXPECT_EQ(file.Write("Z", 1, 1), 1u);
    }
    EXPECT_EQ(stackBytes[0], 'a');

    CRasterMemFile empty;
    EXPECT_EQ(empty.Write("x", 1, 1), 0u);  // no buffer until Open
    EXPECT_FALSE(empty.PutC('x'));
    EXPECT_EQ(empty.Tell(), -1);
    EXPECT_EQ(empty.Size(), -1);
    EXPECT_EQ(empty.Error(), -1);
    EXPECT_TRUE(empty.Eof());
}

TEST(RasterMemFile, GetSNeedsANewlineOrTheLimit) {
    unsigned char noNewline[] = {'a', 'b'};
    CRasterMemFile a(noNewline, 2);
    char line[10];
    EXPECT_EQ(a.GetS(line, 10), nullptr);

    unsigned char withNewline[] = {'a', 'b', '\n', 'c'};
    CRasterMemFile b(withNewline, 4);
    ASSERT_EQ(b.GetS(line, 10), line);
    EXPECT_STREQ(line, "ab\n");
    CRasterMemFile c(withNewline, 4);
    ASSERT_EQ(c.GetS(line, 2), line);  // the n - 1 limit
    EXPECT_STREQ(line, "a");
}

TEST(RasterMemFile, CopiesShareButNeverFree) {
    CRasterMemFile original;
    ASSERT_TRUE(original.Open());
    ASSERT_EQ(original.Write("abc", 1, 3), 3u);
    {
        CRasterMemFile copy(original);
        EXPECT_EQ(copy.GetBuffer(), original.GetBuffer());
        CRasterMemFile assigned;
        assigned = original;
        EXPECT_EQ(assigned.Size(), 3);
    }
    // Both copies are gone; the original's buffer is intact (ASan checks the rest).
    ASSERT_TRUE(original.Seek(0, 0));
    EXPECT_EQ(original.GetC(), 'a');
}

TEST(RasterIOFile, CallersStreamStaysOpenAndOwnedStreamsClose) {
    lumi::test::TempWorkFolder folder;
    FILE* stream = std::fopen("plain.bin", "w+b");
    ASSERT_NE(stream, nullptr);
    {
        CRasterIOFile file(stream);
        EXPECT_FALSE(file.Open(u"other.bin", u"wb"));  // already holds a stream
        EXPECT_TRUE(file.PutC('x'));
        EXPECT_TRUE(file.Close());
        CRasterIOFile copy(file);
        EXPECT_TRUE(copy.Close());
    }
    // Still open: writing and reading through it works.
    EXPECT_EQ(std::fputc('y', stream), 'y');
    std::rewind(stream);
    EXPECT_EQ(std::fgetc(stream), 'x');
    std::fclose(stream);

    CRasterIOFile file;
    ASSERT_TRUE(file.Open(u"owned.bin", u"w+b"));
    EXPECT_EQ(file.Write("hello\n", 1, 6), 6u);
    EXPECT_TRUE(file.Flush());
    EXPECT_EQ(file.Size(), 6);
    EXPECT_EQ(file.Tell(), 6);
    ASSERT_TRUE(file.Seek(0, 0));
    char line[16];
    ASSERT_NE(file.GetS(line, 16), nullptr);
    EXPECT_STREQ(line, "hello\n");
    EXPECT_EQ(file.GetC(), -1);
    EXPECT_TRUE(file.Eof());
    {
        CRasterIOFile copy(file);  // must not close what the original owns
    }
    EXPECT_TRUE(file.Seek(0, 0));
    EXPECT_TRUE(file.Close());

    CRasterIOFile none;
    EXPECT_EQ(none.Size(), -1);
    EXPECT_EQ(none.Error(), -1);
    EXPECT_EQ(none.GetC(), -1);
    EXPECT_EQ(none.Read(line, 1, 1), 0u);
    EXPECT_FALSE(none.Seek(0, 0));
    EXPECT_FALSE(none.Open(u"missing/none.bin", u"rb"));
}

}  // namespace
