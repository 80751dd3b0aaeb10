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

unsigned char* CGChunkBuffer::Reserve(int n) {
    if (n < 0)
        return nullptr;
    if (Head == nullptr)
        NewChunk();
    if (Head->Used + n <= ChunkSize) {
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
    int len = static_cast<int>(std::strlen(text));
    if (len + 1 > ChunkSize)
        return; // can never fit; storing nothing is the documented outcome
    if (Head != nullptr && Head->Used > 0 && len + Head->Used <= ChunkSize) {
        std::memcpy(Head->Data + Head->Used - 1, text, len + 1);
        Head->Used += len;
        return;
    }
    if (Head == nullptr || Head->Used > 0)
        NewChunk();
    std::memcpy(Head->Data, text, len + 1);
    Head->Used = len + 1;
}

int CGChunkBuffer::Size(bool dropTerminators) const {
    int total = 0;
    for (const Chunk* c = Head; c != nullptr; c = c->Next)
        total += c->Used - (dropTerminators ? 1 : 0);
    return total;
}

std::unique_ptr<char[]> CGChunkBuffer::Flatten() const {
    int total = 0;
    for (const Chunk* c = Head; c != nullptr; c = c->Next) {
        if (c->Used > 0)
            total += c->Used - 1;
    }
    auto out = std::make_unique<char[]>(total + 1);
    // Oldest first: walk the newest-first chain from the end.
    int offset = total;
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
