#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

// A list of UIDLs with new entries at the head, as the mailbox bookkeeping keeps them, that
// answers "is this UIDL in the list?" by hashing: a check of a large mailbox stays linear.
// Entries are exact bytes (case-sensitive); duplicates are kept as they came.
class CGUidlList {
public:
    CGUidlList() = default;
    CGUidlList(const CGUidlList& other) { *this = other; }
    CGUidlList& operator=(const CGUidlList& other);
    CGUidlList(CGUidlList&& other) noexcept = default;
    CGUidlList& operator=(CGUidlList&& other) noexcept = default;

    // Adds a copy at the head.
    void Push(std::string_view uidl);
    bool Contains(std::string_view uidl) const { return Members.count(uidl) != 0; }
    std::size_t Count() const { return Items.size(); }
    bool Empty() const { return Items.empty(); }
    void Clear();
    // Drops every entry that is not in keep (in one pass).
    void KeepOnly(const CGUidlList& keep);

    // Calls f(std::string_view) for every entry from the head on.
    template <class F> void ForEach(F&& f) const {
        for (auto it = Items.rbegin(); it != Items.rend(); ++it)
            f(std::string_view(*it));
    }

private:
    // Oldest first, so the head is the back. A deque never moves its elements when it
    // grows, so the views in Members stay valid.
    std::deque<std::string> Items;
    std::unordered_set<std::string_view> Members;
};
