#include "base/comma_list.h"

#include "base/scan.h"

#include <cstring>

namespace {

constexpr int AppendBufferSize = MaxAccountListText + 1;

} // namespace

char CGQuotePairs::CloseFor(char ch) const {
    for (int k = 0; k < Count && k < 8; ++k)
        if (Open[k] == ch)
            return Close[k];
    return 0;
}

void CGCommaList::AssignCopy(const char* text) {
    Fields.reset();
    Count = 0;
    Rest = nullptr;
    if (text == nullptr) {
        OwnedText.reset();
        Text = nullptr;
        return;
    }
    size_t n = std::strlen(text) + 1;
    auto copy = std::make_unique<char[]>(n);
    std::memcpy(copy.get(), text, n);
    OwnedText = std::move(copy);
    Text = OwnedText.get();
}

int CGCommaList::CountQuoted(const CGQuotePairs& pairs) const {
    if (Text == nullptr)
        return 0;
    int n = 1;
    char closer = 0;
    for (const char* p = Text; *p != 0; ++p) {
        if (closer != 0) {
            if (*p == closer)
                closer = 0;
        } else if (char c = pairs.CloseFor(*p); c != 0) {
            closer = c;
        } else if (*p == ',') {
            ++n;
        }
    }
    return n;
}

bool CGCommaList::PrepareFields(int n) {
    if (n != Count) {
        Fields.reset();
        Count = n;
        if (n > 0)
            Fields = std::make_unique<char*[]>(n);
    }
    return Fields != nullptr;
}

int CGCommaList::SplitQuoted(const CGQuotePairs& pairs) {
    if (!PrepareFields(CountQuoted(pairs)))
        return 0;
    char* cursor = Text;
    int index = 0;
    while (*cursor != 0) {
        if (char closer = pairs.CloseFor(*cursor); closer != 0) {
            ++cursor;
            Fields[index++] = cursor;
            while (*cursor != 0 && *cursor != closer)
                ++cursor;
            if (*cursor == closer)
                *cursor++ = 0;
        } else {
            Fields[index++] = cursor;
            while (*cursor != 0 && *cursor != ',')
                ++cursor;
        }
        if (*cursor != ',')
            break;
        *cursor++ = 0;
        if (index >= Count)
            break;
    }
    for (int i = index; i < Count; ++i)
        Fields[i] = nullptr;
    Rest = *cursor != 0 ? cursor : nullptr;
    return Count;
}

int CGCommaList::Split() {
    int n = 0;
    if (Text != nullptr && *Text != 0) {
        n = 1;
        for (const char* p = Text; *p != 0; ++p)
            n += *p == ',';
    }
    if (!PrepareFields(n))
        return 0;
    char* cursor = Text;
    int index = 0;
    while (index < Count) {
        while (IsBlank(*cursor))
            ++cursor;
        char* start = cursor;
        Fields[index++] = start;
        while (*cursor != 0 && *cursor != ',')
            ++cursor;
        if (*cursor == 0)
            break;
        char* end = cursor;
        while (end > start && IsBlank(end[-1]))
            --end;
        *end = 0; // over the comma itself when nothing was trimmed
        ++cursor;
        if (*cursor == 0)
            break;
    }
    static char empty[1] = {0};
    for (int i = index; i < Count; ++i)
        Fields[i] = empty;
    Rest = (cursor != nullptr && *cursor != 0) ? cursor : nullptr;
    return Count;
}

const char* CGCommaList::Field(int index) const {
    if (index == Count)
        return Rest != nullptr ? Rest : "";
    if (Fields != nullptr && index >= 0 && index < Count)
        return Fields[index];
    return nullptr;
}

void CGCommaList::Append(const char* item) {
    char buffer[AppendBufferSize];
    size_t used = 0;
    auto add = [&](const char* s) {
        size_t room = AppendBufferSize - 1 - used;
        size_t n = std::strlen(s);
        if (n > room)
            n = room;
        std::memcpy(buffer + used, s, n);
        used += n;
    };
    if (Text != nullptr) {
        add(Text);
        if (*Text != 0)
            add(",");
    }
    add(item != nullptr ? item : "");
    buffer[used] = 0;
    auto copy = std::make_unique<char[]>(used + 1);
    std::memcpy(copy.get(), buffer, used + 1);
    OwnedText = std::move(copy);
    Text = OwnedText.get();
}
