#pragma once

#include <memory>

// The stored form of a password: a keyless, reversible scrambling of printable ASCII that
// hides the text from a glance at the settings file and nothing more. One object serves one
// Encode or Decode: construct with the text, run it, copy Text out.
class CGObfuscate {
public:
    // Copies text (null stays null), dropping every byte outside lowest..highest.
    CGObfuscate(const char* text, signed char lowest, signed char highest);
    virtual ~CGObfuscate() = default;
    CGObfuscate(const CGObfuscate&) = delete;
    CGObfuscate& operator=(const CGObfuscate&) = delete;

    void Encode();
    void Decode();
    // ch + delta, brought back into the alphabet by one turn.
    char Shift(char ch, int delta) const;

    // The working text, or null.
    const char* Get() const { return Text.get(); }

    std::unique_ptr<char[]> Text;
    signed char Lowest;
    signed char Highest;

private:
    size_t Length() const;
};
