#include "base/chunk_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(CGChunkBuffer, EmptyBufferFlattensToEmptyText) {
    CGChunkBuffer b;
    EXPECT_EQ(b.Size(false), 0u);
    auto flat = b.Flatten();
    ASSERT_NE(flat, nullptr);
    EXPECT_STREQ(flat.get(), "");
}

TEST(CGChunkBuffer, AppendTextReusesTheTerminator) {
    CGChunkBuffer b;
    b.AppendText("ab");
    b.AppendText("cd");
    EXPECT_EQ(b.Size(false), 5u);
    EXPECT_EQ(b.Size(true), 4u);
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
    // Five blocks of 300,000 bytes: three fill the first chunk, the fourth opens a second.
    constexpr std::size_t block = 300000;
    CGChunkBuffer b;
    unsigned char* blocks[5];
    for (int i = 0; i < 5; ++i) {
        blocks[i] = b.Reserve(block);
        ASSERT_NE(blocks[i], nullptr);
        std::memset(blocks[i], 'A' + i, block);
    }
    EXPECT_EQ(b.Size(false), 5 * block);
    EXPECT_EQ(b.Size(true), 5 * block - 2);
    for (int i = 0; i < 5; ++i) // bytes never move once written
        EXPECT_EQ(std::string(reinterpret_cast<char*>(blocks[i]), block),
                  std::string(block, static_cast<char>('A' + i)));
    // Oldest chunk first, each without its last byte.
    const std::string expected = std::string(block, 'A') + std::string(block, 'B') +
                                 std::string(block - 1, 'C') + std::string(block, 'D') +
                                 std::string(block - 1, 'E');
    EXPECT_EQ(std::string(b.Flatten().get()), expected);
    b.Free();
    EXPECT_EQ(b.Size(false), 0u);
    b.Free();
}

TEST(CGChunkBuffer, SizesPastTwoGibibytesDoNotWrap) {
    // Reserving touches only each chunk's header, so 2 GiB of fresh zero chunks stay
    // virtual: the sizes are checked without the memory.
    constexpr std::size_t chunks = 2049;
    CGChunkBuffer b;
    for (std::size_t i = 0; i < chunks; ++i)
        ASSERT_NE(b.Reserve(CGChunkBuffer::ChunkSize), nullptr);
    EXPECT_EQ(b.Size(false), chunks * CGChunkBuffer::ChunkSize);
    EXPECT_EQ(b.Size(true), chunks * (CGChunkBuffer::ChunkSize - 1));
}
