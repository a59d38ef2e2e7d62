// Start-up of the dialog program and its main dialog: the target folder in an
// edit field, "Entpacken" runs the extraction on this thread, "Suchen" opens
// the classic folder chooser, "Info über" the About box. Started with /S the
// program runs the extraction without any window. The exit code tells a
// script what happened.
#include "ui/ui_state.h"
#include "ui/resources/resource_ids.h"
#include "ui/program_options.h"
#include "ui/wide_text.h"
#include <commdlg.h>
#include "archive/archive_open.h"
#include "archive/config_block.h"
#include "engine/extract_run.h"
#include "engine/front_end.h"
// winuser.h keeps an old macro that would rename a function declared here.
#undef OemToAnsi
#include "support/platform.h"
#include "support/str_util.h"

HINSTANCE ModuleHandle;
HWND MainWindow;
volatile uint32_t CancelRequested;

Switches StartSwitches;

// Exit codes beside the run's status: a switch that was refused (also /? under
// /S, and /S from a floppy drive without a target folder), and a configured
// command that could not be started (the code cmd.exe gives for a command it
// cannot find).
static const uint32_t EXIT_BAD_SWITCH = 87;
static const uint32_t EXIT_COMMAND_FAILED = 9009;

// Paths of any length Windows takes, in UTF-8; what Windows hands over
// arrives in WideText first (one text at a time). The command line too.
static WCHAR WideText[WIDE_PATH_UNITS];
static char CommandLine[SFX_PATH_BYTES];
static char ProgramPath[SFX_PATH_BYTES];
// ProgramPath up to its last backslash.
static char ProgramFolder[SFX_PATH_BYTES];
static uint32_t StartedFromFloppy;
// One byte more for the backslash that a run appends.
static char TargetFolder[SFX_PATH_BYTES + 1];
static char RunCommand[SFX_PATH_BYTES];
static uint32_t ExtractBusy;
// The result of the last run; a dialog closed before any run was cancelled.
static int LastRunResult;

const char* LastPart(const char* path) {
    const char* part = path;
    for (; *path; ++path)
        if (*path == '\\')
            part = path + 1;
    return part;
}

// wide as UTF-8 in text (SFX_PATH_BYTES bytes). A text that UTF-8 cannot
// hold (a lone surrogate) becomes two words that are no UTF-8, so that as a
// path it is refused by every file operation and as a command line it is a
// refused switch: never another name.
static void ToUtf8(const WCHAR* wide, char* text) {
    if (!WideToUtf8(wide, text, SFX_PATH_BYTES))
        StrCopy(text, "\xFF \xFF");
}

// The classic save dialog with a template that hides everything about files:
// the user walks folders and drives, and the placeholder name in the hidden
// file field makes OK return "<shown folder>\123.123".
static bool ChooseTargetFolder(HWND owner) {
    WCHAR* chosen = WideText;
    WCHAR title[64];
    Text1252ToWide("123.123", chosen, WIDE_PATH_UNITS);
    Text1252ToWide("Zielverzeichnis ausw\344hlen", title, 64);
    OPENFILENAMEW chooser;
    MemFill(&chooser, 0, sizeof chooser);
    // The pre-2000 record size selects the classic dialog with our template.
    chooser.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    chooser.hwndOwner = owner;
    chooser.hInstance = ModuleHandle;
    chooser.lpstrFile = chosen;
    chooser.nMaxFile = WIDE_PATH_UNITS;
    chooser.lpstrTitle = title;
    chooser.Flags = OFN_HIDEREADONLY | OFN_ENABLETEMPLATE;
    chooser.lpTemplateName = MAKEINTRESOURCEW(IDD_CHOOSER);
    return GetSaveFileNameW(&chooser);
}

// The chosen folder: the path up to its last backslash, without the name.
static void OnBrowse() {
    if (ExtractBusy)
        return;
    if (!ChooseTargetFolder(MainWindow))
        return;
    WCHAR* end = WideText;
    for (WCHAR* p = WideText; *p; ++p)
        if (*p == '\\')
            end = p + 1;
    *end = 0;
    SetDlgItemTextW(MainWindow, CTL_TARGET_EDIT, WideText);
}

static void ShowAbout() {
    ShowMessage("Dieses ZIP-Archiv wurde mit dem Tarvolin erzeugt.\n\n"
                "Informationen \374ber diese Technologie und \374ber Anwendungen,\n"
                "die diese Technologie nutzen, erhalten Sie unter\n\n"
                "\twww.brennholt.example\n\n"
                "Anfragen richten Sie bitte per E-Mail an\n\n"
                "\tsfx@brennholt.example",
                nullptr, MB_OK);
}

// The run into TargetFolder, which must not be empty.
static int ExtractIntoTarget() {
    uint32_t length = StrLength(TargetFolder);
    if (TargetFolder[length - 1] != '\\')
        StrAppend(TargetFolder, "\\");
    return LastRunResult = ExtractArchive(ProgramPath, TargetFolder, RunCommand);
}

// What the process tells a script: 0 after a successful run (under /W the
// command's own code), otherwise the status of the failed run.
static uint32_t ExitCodeOf(int result) {
    if (result == SFX_RUN_STARTED)
        return (StartSwitches.given & SWITCH_WAIT_COMMAND) ? WaitForStartedProgram() : 0;
    // A configured command that did not start must not look like success.
    if (result == SFX_OK && RunCommand[0])
        return EXIT_COMMAND_FAILED;
    return (uint32_t)result;
}

static void OnExtract(HWND dialog) {
    if (ExtractBusy)
        return;
    CancelRequested = 0;
    ExtractBusy = 1;
    GetDlgItemTextW(dialog, CTL_TARGET_EDIT, WideText, WIDE_PATH_UNITS);
    ToUtf8(WideText, TargetFolder);
    if (TargetFolder[0] == 0) {
        if (StartedFromFloppy) {
            // A floppy disk is most likely too small for the archive's content.
            ShowMessage("Vermutlich reicht der Platz auf dem Ziellaufwerk nicht aus. "
                        "W\344hlen Sie bitte ein Verzeichnis auf Ihrer Festplatte.",
                        nullptr, MB_OK);
            ExtractBusy = 0;
            return;
        }
        StrCopy(TargetFolder, ProgramFolder);
    }
    int result = ExtractIntoTarget();
    ExtractBusy = 0;
    if (result == SFX_RUN_STARTED || result == SFX_OK) {
        if (RunCommand[0] == 0)
            ShowMessage("Das Archiv wurde erfolgreich entpackt.", nullptr, MB_OK | MB_ICONINFORMATION);
        EndDialog(dialog, 1);
    }
    // Otherwise the dialog stays open with the run's final status line.
}

static INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CenterOnDesktop(dialog);
        SetWindowTextW(dialog, Caption);
        if (TargetFolder[0]) {
            Utf8ToWide(TargetFolder, WideText, WIDE_PATH_UNITS);
            SetDlgItemTextW(dialog, CTL_TARGET_EDIT, WideText);
        }
        MainWindow = dialog;
        return TRUE;   // focus to the first tab stop, the edit field
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case CTL_EXTRACT:
        OnExtract(dialog);
        break;
    case CTL_CANCEL:
        // During a run the callbacks turn this into an abort at their next call.
        if (ExtractBusy)
            CancelRequested = 1;
        else
            EndDialog(dialog, 2);
        break;
    case CTL_ABOUT:
        ShowAbout();
        break;
    case CTL_BROWSE:
        OnBrowse();
        break;
    default:
        return FALSE;
    }
    return TRUE;
}

static void RegisterDialogClass() {
    WNDCLASSW windowClass;
    MemFill(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_BYTEALIGNWINDOW | CS_SAVEBITS | CS_DBLCLKS;
    // A wide window: the dialogs' texts keep their umlauts on every code page.
    windowClass.lpfnWndProc = DefDlgProcW;
    // The dialog manager keeps its own data in these bytes; a 64-bit build
    // needs room for three pointers there.
    windowClass.cbWndExtra = sizeof(void*) == 8 ? 48 : DLGWINDOWEXTRA;
    windowClass.hInstance = ModuleHandle;
    windowClass.hIcon = LoadIconA(ModuleHandle, MAKEINTRESOURCEA(IDI_MAIN));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"SfxClass";
    RegisterClassW(&windowClass);
}

void FrontCommandFailed(const char* command) {
    if (!(StartSwitches.given & SWITCH_SILENT))
        ShowMessage("Fehler beim Ausf\374hren von %s.", command, MB_OK);
}

// The line about a refused switch, then the list of switches: two tab stops
// for the letters, one for the longer forms with a value, so that the texts
// line up in the message box's usual fonts. /? shows the list alone.
#define REFUSED_LINE "Ung\374ltiger Schalter: %s\n\n"
static const char SwitchText[] =
    REFUSED_LINE
    "/S\t\tohne Dialog entpacken\n"
    "/D=Ordner\tZielpfad\n"
    "/O\t\tDateien ersetzen\n"
    "/N\t\tDateien nicht ersetzen\n"
    "/P=Pa\337wort\tPa\337wort\n"
    "/X\t\tBefehl nicht starten\n"
    "/W\t\tauf den Befehl warten";

static void ShowSwitchList() {
    bool refused = StartSwitches.given & SWITCH_BAD;
    ShowMessage(refused ? SwitchText : SwitchText + sizeof REFUSED_LINE - 1, StartSwitches.badArgument,
                refused ? MB_OK | MB_ICONERROR : MB_OK);
}

static WCHAR Expanded[WIDE_PATH_UNITS];

void ExpandVariables(char* text) {
    Utf8ToWide(text, WideText, WIDE_PATH_UNITS);
    if (ExpandEnvironmentStringsW(WideText, Expanded, WIDE_PATH_UNITS) - 1 >= (DWORD)WIDE_PATH_UNITS - 1) {
        Expanded[0] = 0xD800;   // a lone surrogate: no UTF-8 text
        Expanded[1] = 0;
    }
    ToUtf8(Expanded, text);
}

// Temporary mode: the archive goes into a new folder of its own (under
// %TEMP%, or under the /D folder), the command runs there, and the folder
// goes once the command and every process it started have ended, whatever
// happened before: a failure, a cancel, a refused password. Instead of the
// main dialog a small window with the status line and "Abbrechen"; under /S
// none. The exit code is the command's, or else the run's.
static uint32_t RunTemporary() {
    if (!(StartSwitches.given & SWITCH_SILENT))
        CreateDialogParamW(ModuleHandle, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, MainDialogProc, 0);
    bool made = MakeTemporaryFolder(StartSwitches.targetFolder, TargetFolder);
    int result = SFX_ERR_IO;
    if (made) {
        StartInJob = true;
        StartSwitches.given |= SWITCH_WAIT_COMMAND;
        ExtractBusy = 1;
        result = ExtractIntoTarget();
        ExtractBusy = 0;
    } else {
        ShowRunStatus(SFX_ERR_IO, LastPart(ProgramPath));
    }
    if (MainWindow && result != SFX_RUN_STARTED && result != SFX_OK && result != SFX_USER_ABORT) {
        // The status line says what failed; the window closes after this.
        WCHAR line[WIDE_TEXT_SIZE];
        GetDlgItemTextW(MainWindow, CTL_STATUS_LINE, line, WIDE_TEXT_SIZE);
        MessageBoxW(MainWindow, line, Caption, MB_OK | MB_ICONERROR);
    }
    DestroyWindow(MainWindow);
    MainWindow = nullptr;
    uint32_t code = ExitCodeOf(result);
    if (made)
        RemoveTemporaryFolder(TargetFolder);
    return code;
}

extern "C" void SfxEntry() {
    // The start-up show mode is deliberately not read.
    ModuleHandle = GetModuleHandleA(nullptr);
    ExtractBusy = 0;
    LastRunResult = SFX_USER_ABORT;   // set here: an initialiser costs a data section
    ReadProgramOptions();
    // Arguments in any script: the wide command line, as UTF-8.
    ToUtf8(GetCommandLineW(), CommandLine);
    ParseCommandLine(CommandLine, &StartSwitches);
    // A password is ANSI text, as the prompt reads it and as archivers on
    // Windows hash it; /P gives the same bytes as typing it there.
    Utf8ToWide(StartSwitches.password, WideText, WIDE_PATH_UNITS);
    if (!WideCharToMultiByte(CP_ACP, 0, WideText, -1, StartSwitches.password, PASSWORD_SIZE - 1, nullptr,
                             nullptr)) {
        StrCopy(StartSwitches.badArgument, "/P=");
        StartSwitches.given |= SWITCH_BAD;
    }
    uint8_t given = StartSwitches.given;
    if (given & (SWITCH_BAD | SWITCH_HELP)) {
        // Nothing is extracted after a refused switch, nor after /?, which
        // a silent start cannot show: there only the exit code speaks.
        if (!(given & SWITCH_SILENT))
            ShowSwitchList();
        ExitProcess(given & (SWITCH_BAD | SWITCH_SILENT) ? EXIT_BAD_SWITCH : 0);
    }
    RegisterDialogClass();

    // The program's own path in any script and of any length.
    GetModuleFileNameW(nullptr, WideText, WIDE_PATH_UNITS);
    ToUtf8(WideText, ProgramPath);
    StrCopy(ProgramFolder, ProgramPath);
    ProgramFolder[LastPart(ProgramPath) - ProgramPath] = 0;
    char first = ProgramFolder[0] | 0x20;
    StartedFromFloppy = first == 'a' || first == 'b';

    OpenArchive(ProgramPath);
    if (Archive.status == SFX_OK)
        GetConfigBlock(TargetFolder, RunCommand);
    CloseArchive();
    if (Options.flags & OPTION_EXPAND) {
        ExpandVariables(TargetFolder);
        ExpandVariables(RunCommand);
    }
    if (StartSwitches.targetFolder[0])
        StrCopy(TargetFolder, StartSwitches.targetFolder);
    // From a floppy drive the user has to name a folder on a larger disk.
    if (!StartedFromFloppy && TargetFolder[0] == 0)
        StrCopy(TargetFolder, ProgramFolder);
    if (given & SWITCH_NO_COMMAND)
        RunCommand[0] = 0;

    // Under /S the question and the licence count as accepted.
    if (!(given & SWITCH_SILENT) && !AcceptedBeforeStart())
        ExitProcess(SFX_USER_ABORT);
    if (Options.flags & OPTION_TEMPORARY)
        ExitProcess(RunTemporary());

    if (given & SWITCH_SILENT) {
        // Without a window nobody can be warned about a floppy drive or name
        // another folder: nothing is extracted there without /D.
        ExitProcess(ExitCodeOf(TargetFolder[0] ? ExtractIntoTarget() : EXIT_BAD_SWITCH));
    }

    DialogBoxParamW(ModuleHandle, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);

    // Drain what the dialog left in the queue before leaving.
    PostQuitMessage(0);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ExitProcess(ExitCodeOf(LastRunResult));
}
