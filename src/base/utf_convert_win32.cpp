#include "base/utf_convert.h"

#include <windows.h>

int Utf8ToUtf16(const char* utf8, char16_t* out, int outUnits) {
    if (utf8 == nullptr)
        return 0;
    return MultiByteToWideChar(CP_UTF8, 0, utf8, -1, reinterpret_cast<wchar_t*>(out), outUnits);
}

int Utf16ToUtf8(const char16_t* wide, char* out, int outBytes) {
    if (wide == nullptr)
        return 0;
    return WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(wide), -1, out,
                               outBytes, nullptr, nullptr);
}
