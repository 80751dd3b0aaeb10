#include "base/chunk_buffer.h"

#include <gtest/gtest.h>

#include <string>

TEST(CGChunkBuffer, EmptyBufferFlattensToEmptyText) {
    CGChunkBuffer b;
    EXPECT_EQ(b.Size(false), 0);
    auto flat = b.Flatten();
    ASSERT_NE(flat, nullptr);
    EXPECT_STREQ(flat.get(), "");
}

TEST(CGChunkBuffer, AppendTextReusesTheTerminator) {
    CGChunkBuffer b;
    b.AppendText("ab");
    b.AppendText("cd");
    EXPECT_EQ(b.Size(false), 5);
    EXPECT_EQ(b.Size(true), 4);
    EXPECT_STREQ(b.Flatten().get(), "abcd");
}

TEST(CGChunkBuffer, TextThatDoesNotFitStartsANewChunkAndFlattensTheSame) {
    CGChunkBuffer b;
    std::string first(CGChunkBuffer::ChunkSize - 2, 'a');
    b.AppendText(first.c_str()); // Used = ChunkSize - 1
    b.AppendText("cd");          // would need ChunkSize + 1
    EXPECT_EQ(b.Size(false), CGChunkBuffer::ChunkSize - 1 + 3);
    EXPECT_EQ(std::string(b.Flatten().get()), first + "cd");
}

TEST(CGChunkBuffer, TextOfAWholeChunkOrMoreIsNotStored) {
    CGChunkBuffer b;
    b.AppendText("x");
    std::string huge(CGChunkBuffer::ChunkSize, 'h');
    b.AppendText(huge.c_str());
    EXPECT_STREQ(b.Flatten().get(), "x");
}

TEST(CGChunkBuffer, ReserveGivesZeroBytesAndHonoursTheChunkLimit) {
    CGChunkBuffer b;
    unsigned char* p = b.Reserve(CGChunkBuffer::ChunkSize);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[CGChunkBuffer::ChunkSize - 1], 0);
    CGChunkBuffer c;
    EXPECT_EQ(c.Reserve(CGChunkBuffer::ChunkSize + 1), nullptr);
    unsigned char* q = c.Reserve(3);
    ASSERT_NE(q, nullptr);
    q[0] = 'a';
    q[1] = 'b';
    EXPECT_STREQ(c.Flatten().get(), "ab"); // the last byte of a chunk is dropped
}

TEST(CGChunkBuffer, ReserveInBinaryModeKeepsBytesInOrderAcrossChunks) {
    CGChunkBuffer b;
    for (int i = 0; i < 5; ++i) {
        unsigned char* p = b.Reserve(300000);
        ASSERT_NE(p, nullptr);
        p[0] = static_cast<unsigned char>('A' + i);
        p[1] = 1;
    }
    EXPECT_EQ(b.Size(false), 1500000);
    b.Free();
    EXPECT_EQ(b.Size(false), 0);
    b.Free();
}
