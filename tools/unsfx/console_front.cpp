// The callbacks of the extraction run on the console: overwrite question,
// one updating status line with progress, entry errors, password prompt
// without echo, the final status line.
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>
#include <string>
#include "console.h"
#include "engine/extract_run.h"
#include "engine/front_end.h"
#include "support/file_layer.h"
#include "support/host_text.h"

// Set by the first Ctrl-C: the run stops at the next callback, as the
// dialog's "Abbrechen" does, so that no temporary file is left behind.
volatile sig_atomic_t CancelRequested = 0;

static bool LineOpen = false;          // an updating status line is on screen
static std::string CurrentEntry;       // as shown
static int PasswordAsked = 0;          // calls for the current program

std::string ShowText(const char* utf8) {
    std::string text = utf8;
    for (char& c : text)
        if (c == '\\') c = '/';
    return text;
}

void EndStatusLine() {
    if (LineOpen) {
        fputc('\n', stderr);
        LineOpen = false;
    }
}

static void StatusLine(const std::string& text) {
    if (StatusIsTerminal) {
        // \033[K clears what a longer previous line left behind.
        fprintf(stderr, "\r%s\033[K", text.c_str());
        LineOpen = true;
    } else {
        fprintf(stderr, "%s\n", text.c_str());
    }
    fflush(stderr);
}

static bool ReadLine(std::string& line) {
    line.clear();
    int c;
    while ((c = fgetc(stdin)) != EOF && c != '\n')
        line.push_back(char(c));
    return c != EOF || !line.empty();
}

static std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    return s;
}

int FrontConfirmEntry(const CatalogEntry* entry, const char* targetPath) {
    if (CancelRequested)
        return 2;
    CurrentEntry = ShowText(targetPath);
    bool replaceProtected = false;
    if (FileExists(targetPath) && !ReplaceAll && !Options.replaceAll) {
        if (Options.skipExisting)
            return 1;
        EndStatusLine();
        if (!InputIsTerminal) {
            fprintf(stderr, "%s existiert bereits. Ohne Terminal bitte -o (ersetzen) oder -n (behalten) angeben.\n",
                    CurrentEntry.c_str());
            return 2;
        }
        for (;;) {
            fprintf(stderr, "%s existiert bereits. Ersetzen? [j]a, [n]ein, [a]lle, a[b]brechen: ",
                    CurrentEntry.c_str());
            fflush(stderr);
            std::string answer;
            if (!ReadLine(answer)) {
                fputc('\n', stderr);
                return 2;
            }
            answer = Lower(answer);
            // As in the dialog: "ja" may replace a read-only file too.
            if (answer == "j" || answer == "ja") {
                replaceProtected = true;
                break;
            }
            if (answer == "n" || answer == "nein") return 1;
            if (answer == "a" || answer == "alle") {
                ReplaceAll = 1;
                break;
            }
            if (answer == "b" || answer == "abbrechen") return 2;
        }
    }
    char text[1100];
    snprintf(text, sizeof text, " Entpacke : %s", CurrentEntry.c_str());
    StatusLine(text);
    return replaceProtected ? CONFIRM_REPLACE_PROTECTED : CONFIRM_EXTRACT;
}

bool FrontProgress(uint64_t done, uint64_t total) {
    if (CancelRequested)
        return false;
    if (!StatusIsTerminal)
        return true;
    unsigned perMille = total ? unsigned((uint64_t)done * 1000 / total) : 0;
    char text[1100];
    snprintf(text, sizeof text, " Entpacke : %s %u.%u%%", CurrentEntry.c_str(), perMille / 10, perMille % 10);
    StatusLine(text);
    return true;
}

bool FrontEntryDone(const CatalogEntry* entry, const char* targetPath, SfxStatus status) {
    EndStatusLine();
    if (status != SFX_OK)
        fprintf(stderr, "Fehler (%u) in %s.\n", unsigned(status), ShowText(targetPath).c_str());
    return true;
}

// Reads a line from the terminal with the echo switched off.
static bool AskHidden(const std::string& prompt, std::string& answer) {
    // The echo goes off before the prompt appears, and nothing typed is
    // discarded: an answer typed ahead must not be lost or shown.
    struct termios saved;
    bool restore = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (restore) {
        struct termios quiet = saved;
        quiet.c_lflag &= ~(tcflag_t)ECHO;
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    fprintf(stderr, "%s", prompt.c_str());
    fflush(stderr);
    bool got = ReadLine(answer);
    if (restore)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return got;
}

int FrontAskPassword(char* password, const char* entryName) {
    EndStatusLine();
    std::string name = ShowText(entryName);
    ++PasswordAsked;
    if (Options.hasPassword && PasswordAsked == 1) {
        strncpy(password, Options.password.c_str(), PASSWORD_SIZE - 1);
        password[PASSWORD_SIZE - 1] = '\0';
        return 1;
    }
    if (!InputIsTerminal) {
        if (Options.hasPassword)
            fprintf(stderr, "Falsches Kennwort f\xC3\xBCr %s.\n", name.c_str());
        else
            fprintf(stderr, "%s ist verschl\xC3\xBCsselt. Ohne Terminal bitte das Kennwort mit -p angeben.\n",
                    name.c_str());
        return 0;
    }
    if (PasswordAsked > 1 || Options.hasPassword)
        fprintf(stderr, "Das Kennwort passt nicht zu %s.\n", name.c_str());
    std::string answer;
    if (!AskHidden("Kennwort f\xC3\xBCr " + name + " (Strg-D bricht ab): ", answer))
        return 0;
    strncpy(password, answer.c_str(), PASSWORD_SIZE - 1);
    password[PASSWORD_SIZE - 1] = '\0';
    return 1;
}

void ShowRunStatus(SfxStatus status, const char* displayName) {
    EndStatusLine();
    std::string name = ShowText(displayName);
    if (status == SFX_OK)
        fprintf(stderr, "%s erfolgreich entkomprimiert.\n", name.c_str());
    else if (status == SFX_USER_ABORT)
        fprintf(stderr, "%s : Abbruch durch Anwender.\n", name.c_str());
    else
        fprintf(stderr, "Fehler (%u) in %s.\n", unsigned(status), name.c_str());
}

void FrontCommandFailed(const char* command) {
    EndStatusLine();
    fprintf(stderr, "Fehler beim Ausf\xC3\xBChren von %s.\n", ShowText(command).c_str());
}
