#include "ui/ui_state.h"
#include "ui/resources/resource_ids.h"

static INT_PTR CALLBACK ButtonDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM templateId) {
    if (message == WM_INITDIALOG) {
        CenterOnDesktop(dialog);
        if (templateId == IDD_LICENSE)
            InitLicenseDialog(dialog);
        else
            InitOverwriteDialog(dialog);
        return TRUE;   // focus to the first tab stop, a button
    }
    // Buttons report BN_CLICKED; the licence's text field sends notifications
    // of its own.
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR ShowButtonDialog(int templateId, HWND owner) {
    return DialogBoxParamW(ModuleHandle, MAKEINTRESOURCEW(templateId), owner, ButtonDialogProc, templateId);
}
