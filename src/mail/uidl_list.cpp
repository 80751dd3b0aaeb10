#include "mail/uidl_list.h"

#include <algorithm>
#include <cstring>
#include <functional>

CGUidlList& CGUidlList::operator=(const CGUidlList& other) {
    if (this == &other)
        return *this;
    Clear();
    Mode = other.Mode;
    Reserve(other.Items.size());
    for (Ref item : other.Items)
        Push(other.View(item));
    return *this;
}

CGUidlList::Ref CGUidlList::Store(std::string_view text) {
    if (text.size() > MaxEntryBytes)
        text = text.substr(0, MaxEntryBytes);
    if (text.empty())
        return 0;
    if (text.size() > BlockLimit - BlockUsed) {
        // An entry longer than a block gets a block of its own.
        const std::size_t size = text.size() > BlockSize ? text.size() : BlockSize;
        Blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        BlockLimit = size;
        BlockUsed = 0;
    }
    const Ref ref = (static_cast<Ref>(Blocks.size() - 1) << 40) |
                    (static_cast<Ref>(BlockUsed) << 24) | static_cast<Ref>(text.size());
    std::memcpy(Blocks.back().get() + BlockUsed, text.data(), text.size());
    BlockUsed += text.size();
    return ref;
}

std::uint64_t CGUidlList::Hash(std::string_view text) {
    return std::hash<std::string_view>()(text);
}

std::size_t CGUidlList::Probe(std::string_view uidl, std::uint64_t hash) const {
    const std::size_t mask = Slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint32_t slot = Slots[i];
        if (slot == 0 || View(Items[slot - 1]) == uidl)
            return i;
    }
}

bool CGUidlList::Contains(std::string_view uidl) const {
    if (Mode == Unindexed) {
        for (Ref item : Items)
            if (View(item) == uidl)
                return true;
        return false;
    }
    if (Slots.empty())
        return false;
    return Slots[Probe(uidl, Hash(uidl))] != 0;
}

void CGUidlList::AddToTable(std::uint32_t position) {
    const std::size_t i = Probe(View(Items[position]), Hash(View(Items[position])));
    if (Slots[i] != 0)
        return; // a duplicate: the first copy answers for both
    Slots[i] = position + 1;
    ++Distinct;
}

void CGUidlList::Rehash(std::size_t slots) {
    std::size_t size = 16;
    while (size < slots)
        size *= 2;
    Slots.assign(size, 0);
    Distinct = 0;
    for (std::size_t i = 0; i < Items.size(); ++i)
        AddToTable(static_cast<std::uint32_t>(i));
}

void CGUidlList::Push(std::string_view uidl) {
    // Every allocation comes before the entry joins, so running out of memory leaves the
    // list as it was rather than with an entry the table does not know.
    if (Mode == Indexed && (Distinct + 1) * 2 > Slots.size())
        Rehash(Slots.size() * 2 + 16);
    if (Items.size() == Items.capacity())
        Items.reserve(Items.size() * 2 + 16);
    Items.push_back(Store(uidl));
    if (Mode == Indexed)
        AddToTable(static_cast<std::uint32_t>(Items.size() - 1));
}

void CGUidlList::Clear() {
    Slots.clear();
    Distinct = 0;
    Items.clear();
    Blocks.clear();
    BlockUsed = 0;
    BlockLimit = 0;
}

void CGUidlList::Reserve(std::size_t n) {
    Items.reserve(n);
    if (Mode == Indexed && n * 2 > Slots.size())
        Rehash(n * 2);
}

void CGUidlList::KeepOnly(const CGUidlList& keep) {
    if (&keep == this)
        return;
    if (keep.Mode == Unindexed && Mode == Unindexed) {
        CGUidlList indexed;
        indexed.Reserve(keep.Count());
        keep.ForEach([&](std::string_view uidl) { indexed.Push(uidl); });
        KeepOnly(indexed);
        return;
    }
    std::vector<bool> kept(Items.size());
    if (keep.Mode == Indexed) {
        for (std::size_t i = 0; i < Items.size(); ++i)
            kept[i] = keep.Contains(View(Items[i]));
    } else if (!Slots.empty()) {
        // keep has no table, this list has: mark the first copy of every entry that keep
        // holds, then each entry by its first copy.
        std::vector<bool> held(Items.size());
        for (Ref item : keep.Items) {
            const std::uint32_t slot = Slots[Probe(keep.View(item), Hash(keep.View(item)))];
            if (slot != 0)
                held[slot - 1] = true;
        }
        for (std::size_t i = 0; i < Items.size(); ++i)
            kept[i] = held[Slots[Probe(View(Items[i]), Hash(View(Items[i])))] - 1];
    }
    const std::size_t count = static_cast<std::size_t>(std::count(kept.begin(), kept.end(), true));
    if (count == Items.size())
        return; // the usual case: nothing that was read has left the server
    CGUidlList rest(Mode);
    rest.Reserve(count);
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (kept[i])
            rest.Push(View(Items[i]));
    *this = std::move(rest);
}
