#pragma once

// Owned texts and the singly linked text list. Texts are 8-bit and taken as UTF-8; the
// UTF-16 form is built only where an interface needs wide characters.

// An owned text with a cached wide copy. A null text and an empty text are different
// values: settings and POP3 code use null for "not there".
class CGText {
public:
    CGText() = default;
    explicit CGText(const char* text) { Assign(text); }
    CGText(const CGText& other) { Assign(other.Utf8); }
    CGText(CGText&& other) noexcept;
    CGText& operator=(const CGText& other);
    CGText& operator=(CGText&& other) noexcept;
    ~CGText() { Clear(); }

    // Stores a copy of the bytes of text (no conversion); null leaves the value null.
    void Assign(const char* text);
    // Stores the UTF-8 form of a NUL-terminated UTF-16 text; null leaves the value null.
    void FromWide(const char16_t* wide);
    // (Re)builds the wide copy; it stays null for a null or unconvertible text.
    void BuildWide();
    // UTF-16 units before the terminator; 0 for a null text.
    int WideLength();
    void Clear();

    const char* Get() const { return Utf8; }
    // The text, or "" for a null text: for interfaces that take no null.
    const char* GetOrEmpty() const { return Utf8 ? Utf8 : ""; }
    const char16_t* Wide() const { return Utf16; }
    bool IsNull() const { return Utf8 == nullptr; }
    bool IsEmpty() const { return Utf8 == nullptr || Utf8[0] == 0; }

private:
    char* Utf8 = nullptr;      // owned
    char16_t* Utf16 = nullptr; // owned; non-null only while Utf8 is
};

// One node of a list of texts; new nodes go at the head, and the list owns its nodes.
struct CGTextNode {
    CGText Text;
    CGTextNode* Next = nullptr;
};

// Adds a copy of text at the head of the list.
void PushText(CGTextNode*& head, const char* text);
// Frees every node; head ends up null.
void FreeTextList(CGTextNode*& head);

// Heap copies of plain 8-bit strings, released with FreeText.
void DuplicateText(const char* source, char*& out);
void FreeText(char*& p);
