#include "ui/ui_state.h"

// Centres a dialog on the desktop, but keeps it on the screen: a window wider
// or taller than the screen lands at its left or top edge.
// One axis: centred on the desktop's span, then kept within the screen's.
static int CenteredStart(int desktopStart, int desktopEnd, int start, int end, int screen) {
    int size = end - start;
    int position = desktopStart + (desktopEnd - desktopStart - size) / 2;
    if (position > screen - size)
        position = screen - size;
    if (position < 0)
        position = 0;
    return position;
}

void CenterOnDesktop(HWND window) {
    RECT desktop, rect;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &rect);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int x = CenteredStart(desktop.left, desktop.right, rect.left, rect.right, screenWidth);
    int y = CenteredStart(desktop.top, desktop.bottom, rect.top, rect.bottom, screenHeight);
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
