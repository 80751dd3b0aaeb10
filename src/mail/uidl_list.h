#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A list of UIDLs with new entries at the head, as the mailbox bookkeeping keeps them, that
// answers "is this UIDL in the list?" by hashing: a check of a large mailbox stays linear.
// Entries are exact bytes (case-sensitive); duplicates are kept as they came. The bytes live
// in large blocks that never move, so an entry costs one copy of its text and one hash node.
class CGUidlList {
public:
    CGUidlList() = default;
    CGUidlList(const CGUidlList& other) { *this = other; }
    CGUidlList& operator=(const CGUidlList& other);
    CGUidlList(CGUidlList&& other) noexcept = default;
    CGUidlList& operator=(CGUidlList&& other) noexcept = default;

    // Adds a copy at the head.
    void Push(std::string_view uidl);
    bool Contains(std::string_view uidl) const;
    std::size_t Count() const { return Items.size(); }
    bool Empty() const { return Items.empty(); }
    void Clear();
    // Prepares room for n entries.
    void Reserve(std::size_t n);
    // Entries the list has room for before it must grow.
    std::size_t Capacity() const { return Items.capacity(); }
    // Drops every entry that is not in keep (in one pass).
    void KeepOnly(const CGUidlList& keep);

    // Calls f(std::string_view) for every entry from the head on.
    template <class F> void ForEach(F&& f) const {
        for (auto it = Items.rbegin(); it != Items.rend(); ++it)
            f(*it);
    }

private:
    std::string_view Store(std::string_view text);
    std::size_t BlockCapacity() const { return BlockSizes.empty() ? 0 : BlockSizes.back(); }
    // Open addressing over Items: each slot holds the upper half of the hash and the
    // entry's position + 1 (0 = empty), so most probes never touch the text.
    void AddToTable(std::size_t position, std::uint64_t hash);
    void Rehash(std::size_t slots);
    static std::uint64_t Hash(std::string_view text);

    static constexpr std::size_t BlockSize = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> Blocks; // the entries' bytes; blocks never move
    std::vector<std::size_t> BlockSizes;         // the size of each block
    std::size_t BlockLeft = 0;                   // bytes free at the end of the last block
    std::vector<std::string_view> Items;         // oldest first, so the head is the back
    std::vector<std::uint64_t> Slots;            // a power of two, at most half full
    std::size_t Distinct = 0;                    // entries in Slots
};
