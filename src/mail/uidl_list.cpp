#include "mail/uidl_list.h"

CGUidlList& CGUidlList::operator=(const CGUidlList& other) {
    if (this == &other)
        return *this;
    Clear();
    for (const std::string& item : other.Items)
        Push(item);
    return *this;
}

void CGUidlList::Push(std::string_view uidl) {
    Items.emplace_back(uidl);
    Members.insert(std::string_view(Items.back()));
}

void CGUidlList::Clear() {
    Members.clear();
    Items.clear();
}

void CGUidlList::KeepOnly(const CGUidlList& keep) {
    if (&keep == this)
        return;
    std::deque<std::string> kept;
    for (std::string& item : Items)
        if (keep.Contains(item))
            kept.push_back(std::move(item));
    Members.clear();
    Items = std::move(kept);
    for (const std::string& item : Items)
        Members.insert(std::string_view(item));
}
