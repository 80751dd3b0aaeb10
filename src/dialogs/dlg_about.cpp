#include "dialogs/dlg_about.h"

#include "resources/resource.h"

#include <cstdio>
#include <memory>

const char* const MakerWebSite = "https://varnocle.org/";

void FormatVersionLabel(const VS_FIXEDFILEINFO* info, char* out, size_t size) {
    if (!info) {
        std::snprintf(out, size, "%s", "varnocle");
        return;
    }
    std::snprintf(out, size, "%s v%d.%dr%d", "varnocle",
                  static_cast<int>(HIWORD(info->dwProductVersionMS)),
                  static_cast<int>(LOWORD(info->dwProductVersionMS)),
                  static_cast<int>(HIWORD(info->dwProductVersionLS)));
}

void ReadVersionLabel(char* out, size_t size) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    DWORD blockSize = GetFileVersionInfoSizeA(path, &ignored);
    std::unique_ptr<char[]> block;
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (blockSize)
        block.reset(new (std::nothrow) char[blockSize]);
    if (block && GetFileVersionInfoA(path, 0, blockSize, block.get()) &&
        VerQueryValueA(block.get(), "\\", &fixed, &fixedSize) &&
        fixedSize >= sizeof(VS_FIXEDFILEINFO))
        FormatVersionLabel(static_cast<const VS_FIXEDFILEINFO*>(fixed), out, size);
    else
        FormatVersionLabel(nullptr, out, size);
}

CGDlgAbout::CGDlgAbout(CGWinCore* parent) : CGDialogTemplate(parent) {
    Link.Url = MakerWebSite;
    Icon.IconId = IDI_MAIL;
    BeginTemplate({0, 0, 200, 40});
    char version[256];
    ReadVersionLabel(version, sizeof version);
    AddLabel({40, 10, 140, 20}, version);
    AddButtonOK({145, 8, 195, 20});
    Result = RunTemplate();
}

int CGDlgAbout::OnInitDialog(HWND hwnd) {
    RECT iconArea = {0, 0, 40, 40};
    MapDialogRect(hwnd, &iconArea);
    Icon.CreateIcon(this);
    Icon.SetBounds(iconArea);
    if (Link.Create("", "GSYSLINK", this, 7, 0))
        Link.SetLink(Link.Url);
    RECT linkArea = {40, 20, 140, 30};
    MapDialogRect(hwnd, &linkArea);
    Link.SetBounds(linkArea);
    return FALSE;
}
