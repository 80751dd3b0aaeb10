#include "base/scan.h"

#include <climits>

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

bool NextLine(std::string_view text, std::size_t& at, std::string_view& line) {
    if (at >= text.size())
        return false;
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos)
        end = text.size();
    line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return true;
}

CGLeadingNumber ScanLeadingNumber(const char* text) {
    CGLeadingNumber n;
    const char* p = text ? text : "";
    while (IsSpace(*p))
        ++p;
    if (*p == '+' || *p == '-')
        n.Negative = *p++ == '-';
    for (; *p >= '0' && *p <= '9'; ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        n.Found = true;
        n.Low = n.Low * 10u + digit;
        if (!n.Huge) {
            n.Magnitude = n.Magnitude * 10 + digit;
            n.Huge = n.Magnitude > (uint64_t{1} << 31);
        }
    }
    n.End = p;
    return n;
}

int32_t ParseLeadingInt(const char* text) {
    const CGLeadingNumber n = ScanLeadingNumber(text);
    if (!n.Found)
        return 0;
    if (n.Huge)
        return n.Negative ? INT_MIN : INT_MAX;
    const int64_t value =
        n.Negative ? -static_cast<int64_t>(n.Magnitude) : static_cast<int64_t>(n.Magnitude);
    return value > INT_MAX ? INT_MAX : static_cast<int32_t>(value);
}
