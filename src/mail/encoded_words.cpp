#include "mail/encoded_words.h"

#include "base/base64.h"
#include "base/scan.h"

#include <algorithm>
#include <cstdint>

namespace {

// Windows-1252 0x80..0x9F; 0 where the code page has no character (kept as the C1 control,
// which cleaning drops).
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t FromCp1252(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F && Cp1252High[b - 0x80])
        return Cp1252High[b - 0x80];
    return b;
}

// ISO-8859-15 is ISO-8859-1 but for eight places (the euro sign among them).
char32_t FromLatin9(unsigned char b) {
    switch (b) {
    case 0xA4:
        return 0x20AC;
    case 0xA6:
        return 0x0160;
    case 0xA8:
        return 0x0161;
    case 0xB4:
        return 0x017D;
    case 0xB8:
        return 0x017E;
    case 0xBC:
        return 0x0152;
    case 0xBD:
        return 0x0153;
    case 0xBE:
        return 0x0178;
    default:
        return b;
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code point of the well-formed UTF-8 sequence at text[at] (its length in length), or -1
// when the bytes there are not one.
long NextUtf8(std::string_view text, std::size_t at, std::size_t& length) {
    const auto b = static_cast<unsigned char>(text[at]);
    length = 1;
    if (b < 0x80)
        return b;
    int extra = 0;
    char32_t cp = 0, lowest = 0;
    if (b >= 0xC2 && b <= 0xDF)
        extra = 1, cp = b & 0x1F, lowest = 0x80;
    else if (b >= 0xE0 && b <= 0xEF)
        extra = 2, cp = b & 0x0F, lowest = 0x800;
    else if (b >= 0xF0 && b <= 0xF4)
        extra = 3, cp = b & 0x07, lowest = 0x10000;
    else
        return -1;
    if (at + static_cast<std::size_t>(extra) >= text.size())
        return -1;
    for (int i = 1; i <= extra; ++i) {
        const auto c = static_cast<unsigned char>(text[at + i]);
        if ((c & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    length = static_cast<std::size_t>(extra) + 1;
    return static_cast<long>(cp);
}

enum class Charset { Unknown, Utf8, Latin1, Latin9, Cp1252 };

Charset CharsetNamed(std::string_view name) {
    name = name.substr(0, name.find('*')); // RFC 2231: "utf-8*en"
    for (const char* n : {"utf-8", "utf8"})
        if (EqualsIgnoringCase(name, n))
            return Charset::Utf8;
    // Bytes beyond ASCII in a text labelled ASCII are read as Latin-1, as most readers do.
    for (const char* n : {"us-ascii", "ascii", "iso-8859-1", "iso8859-1", "iso_8859-1", "latin1",
                          "l1", "iso-ir-100", "cp819"})
        if (EqualsIgnoringCase(name, n))
            return Charset::Latin1;
    for (const char* n : {"iso-8859-15", "iso8859-15", "iso_8859-15", "latin-9", "latin9"})
        if (EqualsIgnoringCase(name, n))
            return Charset::Latin9;
    for (const char* n : {"windows-1252", "cp1252", "x-cp1252"})
        if (EqualsIgnoringCase(name, n))
            return Charset::Cp1252;
    return Charset::Unknown;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool DecodeQ(std::string_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] == '=') {
            if (i + 2 >= text.size())
                return false;
            const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return true;
}

bool DecodeB(std::string_view text, std::string& out) {
    // Some senders leave the padding out; nothing else is forgiven.
    std::string padded(text);
    if (padded.size() % 4 == 1)
        return false;
    while (padded.size() % 4 != 0)
        padded += '=';
    for (std::size_t i = 0; i < padded.size(); ++i) {
        const char c = padded[i];
        const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '+' || c == '/';
        const bool padding = c == '=' && i + 2 >= padded.size();
        if (!alphabet && !padding)
            return false;
    }
    std::string bytes;
    if (!FromBase64(padded, bytes))
        return false;
    out += bytes;
    return true;
}

// One encoded-word starting at text[at] ("=?"): its charset and decoded bytes, and where it
// ends. False when the bytes there are not a well-formed word.
struct EncodedWord {
    std::string_view Charset;
    std::string Bytes;
    std::size_t End = 0;
};

// Words are short (the standard allows 75 bytes; some senders write longer ones): a word is
// looked for only so far, which keeps a header full of "=?" linear.
constexpr std::size_t MaxCharsetName = 64;
constexpr std::size_t MaxEncodedText = 1024;

bool ReadEncodedWord(std::string_view text, std::size_t at, EncodedWord& word) {
    const std::size_t mark = text.substr(at + 2, MaxCharsetName + 1).find('?');
    if (mark == std::string_view::npos || mark == 0)
        return false;
    const std::size_t charsetEnd = at + 2 + mark;
    if (charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?')
        return false;
    const std::size_t textStart = charsetEnd + 3;
    const std::size_t end = text.substr(textStart, MaxEncodedText + 2).find("?=");
    if (end == std::string_view::npos)
        return false;
    const std::size_t close = textStart + end;
    const std::string_view encoded = text.substr(textStart, close - textStart);
    if (encoded.find_first_of(" \t\r\n?") != std::string_view::npos)
        return false;
    word.Charset = text.substr(at + 2, charsetEnd - at - 2);
    if (word.Charset.find_first_of(" \t\r\n") != std::string_view::npos)
        return false;
    word.Bytes.clear();
    const char kind = text[charsetEnd + 1];
    const bool ok = (kind == 'B' || kind == 'b')   ? DecodeB(encoded, word.Bytes)
                    : (kind == 'Q' || kind == 'q') ? DecodeQ(encoded, word.Bytes)
                                                   : false;
    word.End = close + 2;
    return ok;
}

bool OnlyBlanks(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return IsSpace(c); });
}

bool DropsOut(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFEFF;
}

bool IsBlankCode(char32_t cp) {
    return cp == ' ' || cp == '\t' || cp == '\r' || cp == '\n' || cp == 0xA0 || cp == 0x2028 ||
           cp == 0x2029;
}

} // namespace

bool CharsetToUtf8(std::string_view charset, std::string_view bytes, std::string& out) {
    const Charset kind = CharsetNamed(charset);
    if (kind == Charset::Unknown)
        return false;
    if (kind == Charset::Utf8) {
        out.append(bytes); // invalid sequences are mended when the text is cleaned
        return true;
    }
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, kind == Charset::Latin9   ? FromLatin9(b)
                        : kind == Charset::Cp1252 ? FromCp1252(b)
                                                  : static_cast<char32_t>(b));
    }
    return true;
}

std::string DecodeEncodedWords(std::string_view text) {
    std::string out;
    // The run of adjacent encoded-words in one charset not yet converted: its bytes, and
    // where it began, to show it as it stands when the charset is unknown.
    std::string runBytes;
    std::string_view runCharset;
    std::size_t runStart = 0, runEnd = 0;
    bool inRun = false;
    auto flush = [&] {
        if (inRun && !CharsetToUtf8(runCharset, runBytes, out))
            out.append(text.substr(runStart, runEnd - runStart));
        inRun = false;
        runBytes.clear();
    };
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t next = text.find("=?", at);
        if (next == std::string_view::npos) {
            flush();
            out.append(text.substr(at));
            break;
        }
        EncodedWord word;
        if (!ReadEncodedWord(text, next, word)) {
            flush();
            out.append(text.substr(at, next + 2 - at));
            at = next + 2;
            continue;
        }
        const std::string_view between = text.substr(at, next - at);
        const bool adjacent = inRun && OnlyBlanks(between);
        if (adjacent && EqualsIgnoringCase(word.Charset, runCharset)) {
            runBytes += word.Bytes;
        } else {
            flush();
            if (!adjacent)
                out.append(between); // blanks between two encoded-words are not text
            inRun = true;
            runCharset = word.Charset;
            runBytes = std::move(word.Bytes);
            runStart = next;
        }
        runEnd = word.End;
        at = word.End;
    }
    flush();
    return out;
}

std::string CleanDisplayText(std::string_view text, std::size_t maxBytes) {
    std::string out;
    bool blank = false;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 1;
        long decoded = NextUtf8(text, at, length);
        const char32_t cp = decoded >= 0 ? static_cast<char32_t>(decoded)
                                         : FromCp1252(static_cast<unsigned char>(text[at]));
        at += length;
        if (IsBlankCode(cp)) {
            blank = !out.empty();
            continue;
        }
        if (DropsOut(cp))
            continue;
        std::string piece = blank ? " " : "";
        AppendUtf8(piece, cp);
        if (out.size() + piece.size() > maxBytes)
            break;
        out += piece;
        blank = false;
    }
    return out;
}
