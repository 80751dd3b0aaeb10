#include "base/text.h"

#include "base/utf_convert.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

char* CopyBytes(const char* text) {
    size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
}

} // namespace

CGText::CGText(CGText&& other) noexcept
    : Utf8(std::exchange(other.Utf8, nullptr)), Utf16(std::exchange(other.Utf16, nullptr)) {}

CGText& CGText::operator=(const CGText& other) {
    if (this != &other)
        Assign(other.Utf8);
    return *this;
}

CGText& CGText::operator=(CGText&& other) noexcept {
    if (this != &other) {
        Clear();
        Utf8 = std::exchange(other.Utf8, nullptr);
        Utf16 = std::exchange(other.Utf16, nullptr);
    }
    return *this;
}

void CGText::Assign(const char* text) {
    // Copy first: text may point into this value.
    char* copy = text ? CopyBytes(text) : nullptr;
    Clear();
    Utf8 = copy;
}

void CGText::FromWide(const char16_t* wide) {
    Clear();
    if (wide == nullptr)
        return;
    int size = Utf16ToUtf8(wide, nullptr, 0);
    if (size <= 0)
        return;
    char* buffer = new char[size];
    if (Utf16ToUtf8(wide, buffer, size) == 0) {
        delete[] buffer;
        return;
    }
    Utf8 = buffer;
}

void CGText::BuildWide() {
    delete[] Utf16;
    Utf16 = nullptr;
    if (Utf8 == nullptr)
        return;
    int size = Utf8ToUtf16(Utf8, nullptr, 0);
    if (size <= 0)
        return;
    Utf16 = new char16_t[size];
    if (Utf8ToUtf16(Utf8, Utf16, size) == 0) {
        delete[] Utf16;
        Utf16 = nullptr;
    }
}

int CGText::WideLength() {
    if (Utf8 == nullptr)
        return 0;
    BuildWide();
    if (Utf16 == nullptr)
        return 0;
    int n = 0;
    while (Utf16[n] != 0)
        ++n;
    return n;
}

void CGText::Clear() {
    if (Utf8 == nullptr)
        return;
    delete[] Utf8;
    delete[] Utf16;
    Utf8 = nullptr;
    Utf16 = nullptr;
}

void PushText(CGTextNode*& head, const char* text) {
    auto* node = new CGTextNode;
    node->Text.Assign(text);
    node->Next = head;
    head = node;
}

void FreeTextList(CGTextNode*& head) {
    while (head != nullptr) {
        CGTextNode* node = head;
        head = node->Next;
        delete node;
    }
}

void DuplicateText(const char* source, char*& out) {
    out = source ? CopyBytes(source) : nullptr;
}

void FreeText(char*& p) {
    delete[] p;
    p = nullptr;
}
