#pragma once

#include <cstddef>
#include <memory>

// Append-only byte store in zero-filled chunks of 1 MiB, linked newest first. Bytes never
// move once written, so a long multi-line reply is gathered without reallocation and
// copied once, by Flatten, when it is complete. Sizes are size_t throughout: a store past
// 2 GiB must not wrap.
class CGChunkBuffer {
public:
    static constexpr std::size_t ChunkSize = 0x100000;

    CGChunkBuffer() = default;
    CGChunkBuffer(const CGChunkBuffer&) = delete;
    CGChunkBuffer& operator=(const CGChunkBuffer&) = delete;
    ~CGChunkBuffer() { Free(); }

    // n fresh zero bytes at the end, or null when n exceeds one chunk.
    unsigned char* Reserve(std::size_t n);
    // Text mode: each chunk holds one NUL-terminated string and its terminator counts in Used.
    void AppendText(const char* text);
    // Bytes used over all chunks, minus one per non-empty chunk when dropTerminators is set.
    std::size_t Size(bool dropTerminators) const;
    // One NUL-terminated copy, oldest chunk first, each without its last byte.
    std::unique_ptr<char[]> Flatten() const;
    void Free();

private:
    struct Chunk {
        Chunk* Next; // the next older chunk
        std::size_t Used;
        unsigned char Data[ChunkSize];
    };

    Chunk* NewChunk();

    Chunk* Head = nullptr; // newest chunk; owned, with everything it links to
};
