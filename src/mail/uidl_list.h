#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// A list of UIDLs with new entries at the head, as the mailbox bookkeeping keeps them, that
// answers "is this UIDL in the list?" by hashing: a check of a large mailbox stays linear.
// Entries are exact bytes (case-sensitive); duplicates are kept as they came. The bytes live
// in large blocks that never move, so an entry costs one copy of its text, an eight-byte
// reference and, in an indexed list, a four-byte slot or two.
class CGUidlList {
public:
    // An unindexed list (a listing that is only walked through, never asked) saves the
    // table; Contains then looks at every entry.
    enum IndexMode { Indexed, Unindexed };

    explicit CGUidlList(IndexMode mode = Indexed) : Mode(mode) {}
    CGUidlList(const CGUidlList& other) { *this = other; }
    CGUidlList& operator=(const CGUidlList& other);
    CGUidlList(CGUidlList&& other) noexcept = default;
    CGUidlList& operator=(CGUidlList&& other) noexcept = default;

    // Adds a copy at the head (an entry keeps at most MaxEntryBytes).
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
            f(View(*it));
    }
    // The same while f returns true.
    template <class F> void ForEachWhile(F&& f) const {
        for (auto it = Items.rbegin(); it != Items.rend(); ++it)
            if (!f(View(*it)))
                return;
    }

    static constexpr std::size_t MaxEntryBytes = (std::size_t{1} << 24) - 1;

private:
    // Where an entry's bytes are: block (24 bits), offset in it (16), length (24).
    using Ref = std::uint64_t;
    std::string_view View(Ref ref) const {
        const std::size_t length = ref & 0xFFFFFF;
        if (length == 0)
            return {}; // an empty line of the seen file takes no bytes
        return std::string_view(Blocks[ref >> 40].get() + ((ref >> 24) & 0xFFFF), length);
    }
    Ref Store(std::string_view text);
    // Open addressing over Items: each slot holds an entry's position + 1 (0 = empty).
    // Returns the slot of uidl, or of the empty slot where it would go.
    std::size_t Probe(std::string_view uidl, std::uint64_t hash) const;
    void AddToTable(std::uint32_t position);
    void Rehash(std::size_t slots);
    static std::uint64_t Hash(std::string_view text);

    static constexpr std::size_t BlockSize = 64 * 1024;
    IndexMode Mode = Indexed;
    std::vector<std::unique_ptr<char[]>> Blocks; // the entries' bytes; blocks never move
    std::size_t BlockUsed = 0;                   // bytes used in the last block
    std::size_t BlockLimit = 0;                  // the size of the last block
    std::vector<Ref> Items;                      // oldest first, so the head is the back
    std::vector<std::uint32_t> Slots;            // a power of two, at most half full
    std::size_t Distinct = 0;                    // entries in Slots
};
