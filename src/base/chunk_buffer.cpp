#include "base/chunk_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

CGChunkBuffer::Chunk* CGChunkBuffer::NewChunk() {
    // calloc: chunks start zero-filled, which the dialog-template alignment relies on.
    auto* chunk = static_cast<Chunk*>(std::calloc(1, sizeof(Chunk)));
    if (chunk == nullptr)
        throw std::bad_alloc();
    chunk->Next = Head;
    Head = chunk;
    return chunk;
}

unsigned char* CGChunkBuffer::Reserve(std::size_t n) {
    if (Head == nullptr)
        NewChunk();
    if (n <= ChunkSize - Head->Used) {
        unsigned char* p = Head->Data + Head->Used;
        Head->Used += n;
        return p;
    }
    Chunk* chunk = NewChunk();
    if (n > ChunkSize)
        return nullptr;
    chunk->Used = n;
    return chunk->Data;
}

void CGChunkBuffer::AppendText(const char* text) {
    const std::size_t len = std::strlen(text);
    if (len >= ChunkSize)
        return; // can never fit with its terminator; storing nothing is the documented outcome
    if (Head != nullptr && Head->Used > 0 && len <= ChunkSize - Head->Used) {
        std::memcpy(Head->Data + Head->Used - 1, text, len + 1);
        Head->Used += len;
        return;
    }
    if (Head == nullptr || Head->Used > 0)
        NewChunk();
    std::memcpy(Head->Data, text, len + 1);
    Head->Used = len + 1;
}

std::size_t CGChunkBuffer::Size(bool dropTerminators) const {
    std::size_t total = 0;
    for (const Chunk* c = Head; c != nullptr; c = c->Next)
        total += dropTerminators && c->Used > 0 ? c->Used - 1 : c->Used;
    return total;
}

std::unique_ptr<char[]> CGChunkBuffer::Flatten() const {
    std::size_t total = 0;
    for (const Chunk* c = Head; c != nullptr; c = c->Next) {
        if (c->Used > 0)
            total += c->Used - 1;
    }
    auto out = std::make_unique<char[]>(total + 1);
    // Oldest first: walk the newest-first chain from the end.
    std::size_t offset = total;
    for (const Chunk* c = Head; c != nullptr; c = c->Next) {
        if (c->Used <= 1)
            continue;
        offset -= c->Used - 1;
        std::memcpy(out.get() + offset, c->Data, c->Used - 1);
    }
    out[total] = 0;
    return out;
}

void CGChunkBuffer::Free() {
    while (Head != nullptr) {
        Chunk* next = Head->Next;
        std::free(Head);
        Head = next;
    }
}
