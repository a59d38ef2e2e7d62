// The password prompt for an encrypted entry. The decryption decides when to
// ask and how often; this only asks once per call.
#include "ui/ui_state.h"
#include "ui/resources/resource_ids.h"
#include "ui/wide_text.h"
#include "engine/front_end.h"
#include "support/str_util.h"

// The entry's file name (UTF-8), cut to what the prompt can show.
static char PasswordEntryName[WIDE_TEXT_SIZE];
static char* PasswordBuffer;    // the archive state's 300-byte password buffer

static void InitPasswordDialog(HWND dialog) {
    CenterOnDesktop(dialog);
    WCHAR prompt[WIDE_TEXT_SIZE];
    FormatWide(prompt,
               "Der Zugriff auf die Datei '%s' ist nur mit einem Pa\337wort m\366glich.\n\n"
               "Bitte geben Sie das korrekte Pa\337wort an.",
               PasswordEntryName);
    SetDlgItemTextW(dialog, CTL_PASSWORD_PROMPT, prompt);
    // A repeated question after a wrong password starts empty as well.
    SetDlgItemTextA(dialog, CTL_PASSWORD_EDIT, "");
}

static INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        InitPasswordDialog(dialog);
        return TRUE;   // focus to the password field
    }
    if (message == WM_COMMAND) {
        switch (LOWORD(wParam)) {
        case IDOK:
            // At most 298 characters and the terminating zero.
            GetDlgItemTextA(dialog, CTL_PASSWORD_EDIT, PasswordBuffer, PASSWORD_SIZE - 1);
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
    }
    return FALSE;
}

int FrontAskPassword(char* password, const char* entryName) {
    // The /P password is the first answer of a run, and the first after an
    // empty one; once it is refused, only a person can help.
    if (password[0] == 0 && StartSwitches.password[0]) {
        StrCopy(password, StartSwitches.password);
        return 1;
    }
    if (StartSwitches.given & SWITCH_SILENT)
        return 0;
    StrCopyMax(PasswordEntryName, LastPart(entryName), sizeof PasswordEntryName - 1);
    PasswordBuffer = password;
    return DialogBoxParamW(ModuleHandle, MAKEINTRESOURCEW(IDD_PASSWORD), MainWindow,
                           PasswordDialogProc, 0) == IDOK;
}
