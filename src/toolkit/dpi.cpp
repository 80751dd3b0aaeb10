#include "toolkit/dpi.h"

#include "toolkit/handles.h"

#include <cstring>

namespace {

// The functions of Windows 10 1607 and later, looked up so that older systems still start.
struct DpiFunctions {
    UINT(WINAPI* ForWindow)(HWND) = nullptr;
    UINT(WINAPI* ForSystem)() = nullptr;
    BOOL(WINAPI* ParametersForDpi)(UINT, UINT, void*, UINT, UINT) = nullptr;
};

template <typename Function> void Find(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const DpiFunctions& Functions() {
    static const DpiFunctions functions = [] {
        DpiFunctions f;
        // user32 is loaded for the whole life of every process that has windows.
        HMODULE user = GetModuleHandleA("user32.dll");
        if (user) {
            Find(user, "GetDpiForWindow", f.ForWindow);
            Find(user, "GetDpiForSystem", f.ForSystem);
            Find(user, "SystemParametersInfoForDpi", f.ParametersForDpi);
        }
        return f;
    }();
    return functions;
}

unsigned ScreenDpi() {
    CGWindowDC screen(nullptr);
    const int dpi = screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<unsigned>(dpi) : DefaultDpi;
}

} // namespace

unsigned WindowDpi(HWND window) {
    const UINT dpi = Functions().ForWindow && window ? Functions().ForWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

unsigned SystemDpi() {
    const UINT dpi = Functions().ForSystem ? Functions().ForSystem() : 0;
    return dpi ? dpi : ScreenDpi();
}

int ScaleToDpi(int value, unsigned dpi) {
    return MulDiv(value, static_cast<int>(dpi), DefaultDpi);
}

bool MessageFontForDpi(unsigned dpi, LOGFONTW& font) {
    NONCLIENTMETRICSW metrics;
    std::memset(&metrics, 0, sizeof metrics);
    if (Functions().ParametersForDpi) {
        metrics.cbSize = sizeof metrics; // the systems that have this have every field
        if (!Functions().ParametersForDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0,
                                          dpi))
            return false;
        font = metrics.lfMessageFont;
        return true;
    }
    // The size without the padded-border field, which every Windows version accepts.
    metrics.cbSize = 500;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        return false;
    font = metrics.lfMessageFont;
    // Given at the system's DPI.
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    return true;
}
