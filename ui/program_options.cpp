// The program's options from its own string table, and the question and the
// licence that they may ask before anything else happens.
#include "ui/program_options.h"
#include "ui/ui_state.h"
#include "ui/resources/resource_ids.h"

ProgramOptions Options;
const WCHAR* Caption;

// The string's text straight from the resources, or null without it.
static const WCHAR* OptionText(UINT id) {
    const WCHAR* text;
    return LoadStringW(ModuleHandle, id, reinterpret_cast<LPWSTR>(&text), 0) > 1 ? text : nullptr;
}

void ReadProgramOptions() {
    const WCHAR* flags = OptionText(OPTION_STRING_FLAGS);
    Options.flags = flags ? flags[0] : 0;
    Caption = OptionText(OPTION_STRING_TITLE);
    if (!Caption)
        Caption = L"Tarvolin Self Extractor";
    Options.prompt = OptionText(OPTION_STRING_PROMPT);
    Options.license = OptionText(OPTION_STRING_LICENSE);
}

void InitLicenseDialog(HWND dialog) {
    SetWindowTextW(dialog, Caption);
    SetDlgItemTextW(dialog, CTL_LICENSE_TEXT, Options.license);
}

bool AcceptedBeforeStart() {
    if (Options.prompt && MessageBoxW(nullptr, Options.prompt, Caption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    // "Ablehnen" is the default button and has the focus: Enter alone does
    // not accept.
    return !Options.license || ShowButtonDialog(IDD_LICENSE, nullptr) == IDOK;
}
