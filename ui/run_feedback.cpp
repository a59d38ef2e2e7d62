// What the user sees of a running extraction: one status line in the main
// dialog, the overwrite question, and the cancel that "Abbrechen" requests.
// The run executes on the GUI thread, so every callback empties the message
// queue to keep the dialog alive.
#include "ui/ui_state.h"
#include "ui/per_mille.h"
#include "ui/resources/resource_ids.h"
#include "ui/wide_text.h"
#include "engine/extract_run.h"   // ReplaceAll, cleared by every run
#include "engine/front_end.h"
#include "support/file_layer.h"
#include "support/str_util.h"

// Name and extension of the entry being written (UTF-8, cut to what a line
// can show); the progress line reuses it.
static char EntryDisplayName[WIDE_TEXT_SIZE];

// FormatText writes at most 1024 bytes and the terminator.
static const int LINE_SIZE = 1025;

// Dialog keyboard handling is not applied here: the messages go straight to
// their windows.
void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

static void SetStatusLine(const char* text) {
    SetItemText(MainWindow, CTL_STATUS_LINE, text);
}

int FrontConfirmEntry(const CatalogEntry* entry, const char* targetPath) {
    PumpMessages();

    int answer = CONFIRM_EXTRACT;
    // An existing folder of that name counts as existing too. After a cancel
    // the run ends below whatever the answer, so nothing is asked. /O and /N
    // answer for every file; under /S nobody else can, and the run ends.
    if (targetPath[0] != 0 && FileExists(targetPath) && !ReplaceAll && CancelRequested != 1 &&
        !(StartSwitches.given & SWITCH_REPLACE)) {
        if (StartSwitches.given & SWITCH_KEEP)
            answer = CONFIRM_SKIP;
        else if (StartSwitches.given & SWITCH_SILENT)
            answer = CONFIRM_REFUSE;
        else switch (ConfirmOverwrite(entry, targetPath)) {
        case CTL_YES:     // this one, also when it is read-only, hidden or system
            answer = CONFIRM_REPLACE_PROTECTED;
            break;
        case CTL_NO:
            answer = CONFIRM_SKIP;
            break;
        case CTL_CANCEL:
            answer = CONFIRM_ABORT;
            break;
        case CTL_REPLACE_ALL:
            ReplaceAll = 1;
            break;
        default:          // no dialog could be shown
            break;
        }
    }

    StrCopyMax(EntryDisplayName, LastPart(targetPath), sizeof EntryDisplayName - 1);
    PumpMessages();
    char line[LINE_SIZE];
    FormatText(line, " Entpacke : %s", EntryDisplayName);
    SetStatusLine(line);
    PumpMessages();
    return CancelRequested == 1 ? CONFIRM_ABORT : answer;
}

// Under Wine a rewrite of the line with its pumps costs about half a
// millisecond (a repaint, server round trips), more than decoding the 32 KB
// that a call reports: called for every window flush they took three
// quarters of an extraction's time. Ten a second keep the dialog responsive
// and the percentage moving; an entry's first call (done no longer grows)
// and its last always show.
static const DWORD PROGRESS_INTERVAL_MS = 100;
static DWORD LastProgressTick;
static uint64_t LastProgressDone;

bool FrontProgress(uint64_t done, uint64_t total) {
    DWORD now = GetTickCount();
    bool firstOfEntry = done <= LastProgressDone;
    LastProgressDone = done;
    if (!firstOfEntry && done != total && now - LastProgressTick < PROGRESS_INTERVAL_MS)
        return CancelRequested != 1;
    LastProgressTick = now;
    PumpMessages();
    // The share alone counts: sizes past 4 GiB are scaled down to 32 bits.
    while (total >> 32) {
        done >>= 1;
        total >>= 1;
    }
    uint32_t perMille = PerMille((uint32_t)done, (uint32_t)total);
    char line[LINE_SIZE];
    FormatText(line, " Entpacke : %s %d.%d%%", EntryDisplayName, perMille / 10, perMille % 10);
    SetStatusLine(line);
    PumpMessages();
    return CancelRequested != 1;
}

// A failed entry does not stop the others; the run's own status tells the user.
bool FrontEntryDone(const CatalogEntry*, const char*, SfxStatus) {
    return true;
}

void ShowRunStatus(SfxStatus status, const char* displayName) {
    char line[LINE_SIZE];
    if (status == SFX_OK)
        FormatText(line, "%s erfolgreich entkomprimiert.", displayName);
    else if (status == SFX_USER_ABORT)
        FormatText(line, "%s : Abbruch durch Anwender.", displayName);
    else
        FormatText(line, "Fehler (%u) in %s.", (unsigned)status, displayName);
    SetStatusLine(line);
}
