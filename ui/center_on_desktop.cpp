#include "ui/ui_state.h"

// Centres a dialog on the desktop, but keeps it on the screen: a window wider
// or taller than the screen lands at its left or top edge.
void CenterOnDesktop(HWND window) {
    RECT desktop, rect;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &rect);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = desktop.left + (desktop.right - desktop.left - width) / 2;
    int y = desktop.top + (desktop.bottom - desktop.top - height) / 2;
    if (x > screenWidth - width)
        x = screenWidth - width;
    if (x < 0)
        x = 0;
    if (y > screenHeight - height)
        y = screenHeight - height;
    if (y < 0)
        y = 0;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
