#include <windows.h>

// The program's entry point. Start-up and the main window are filled in as they are built.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
