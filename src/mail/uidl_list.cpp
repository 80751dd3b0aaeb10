#include "mail/uidl_list.h"

#include <cstring>
#include <functional>

CGUidlList& CGUidlList::operator=(const CGUidlList& other) {
    if (this == &other)
        return *this;
    Clear();
    Reserve(other.Items.size());
    for (std::string_view item : other.Items)
        Push(item);
    return *this;
}

std::string_view CGUidlList::Store(std::string_view text) {
    if (text.empty())
        return {}; // an empty line of the seen file: nothing to keep
    if (text.size() > BlockLeft) {
        // An entry longer than a block gets a block of its own.
        const std::size_t size = text.size() > BlockSize ? text.size() : BlockSize;
        Blocks.push_back(std::make_unique<char[]>(size));
        BlockSizes.push_back(size);
        BlockLeft = size;
    }
    char* at = Blocks.back().get() + (BlockCapacity() - BlockLeft);
    std::memcpy(at, text.data(), text.size());
    BlockLeft -= text.size();
    return std::string_view(at, text.size());
}

std::uint64_t CGUidlList::Hash(std::string_view text) {
    return std::hash<std::string_view>()(text);
}

bool CGUidlList::Contains(std::string_view uidl) const {
    if (Slots.empty())
        return false;
    const std::uint64_t hash = Hash(uidl);
    const std::uint64_t tag = hash >> 32;
    const std::size_t mask = Slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = Slots[i];
        if (slot == 0)
            return false;
        if ((slot >> 32) == tag && Items[(slot & 0xFFFFFFFFu) - 1] == uidl)
            return true;
    }
}

void CGUidlList::AddToTable(std::size_t position, std::uint64_t hash) {
    const std::uint64_t tag = hash >> 32;
    const std::string_view text = Items[position];
    const std::size_t mask = Slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = Slots[i];
        if (slot == 0) {
            Slots[i] = (tag << 32) | (position + 1);
            ++Distinct;
            return;
        }
        if ((slot >> 32) == tag && Items[(slot & 0xFFFFFFFFu) - 1] == text)
            return; // a duplicate: the first copy answers for both
    }
}

void CGUidlList::Rehash(std::size_t slots) {
    std::size_t size = 16;
    while (size < slots)
        size *= 2;
    Slots.assign(size, 0);
    Distinct = 0;
    for (std::size_t i = 0; i < Items.size(); ++i)
        AddToTable(i, Hash(Items[i]));
}

void CGUidlList::Push(std::string_view uidl) {
    // Every allocation comes before the entry joins, so running out of memory leaves the
    // list as it was rather than with an entry the table does not know.
    if ((Distinct + 1) * 2 > Slots.size())
        Rehash(Slots.size() * 2 + 16);
    Items.push_back(Store(uidl));
    AddToTable(Items.size() - 1, Hash(uidl));
}

void CGUidlList::Clear() {
    Slots.clear();
    Distinct = 0;
    Items.clear();
    Blocks.clear();
    BlockSizes.clear();
    BlockLeft = 0;
}

void CGUidlList::Reserve(std::size_t n) {
    Items.reserve(n);
    if (n * 2 > Slots.size())
        Rehash(n * 2);
}

void CGUidlList::KeepOnly(const CGUidlList& keep) {
    if (&keep == this)
        return;
    std::size_t kept = 0;
    for (std::string_view item : Items)
        kept += keep.Contains(item) ? 1 : 0;
    if (kept == Items.size())
        return; // the usual case: nothing that was read has left the server
    CGUidlList rest;
    rest.Reserve(kept);
    for (std::string_view item : Items)
        if (keep.Contains(item))
            rest.Push(item);
    *this = std::move(rest);
}
