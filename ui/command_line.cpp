// Reading the switches of a scripted start from the program's command line.
#include "ui/command_line.h"
#include "support/str_util.h"

namespace {

// A word longer than this cannot be a valid switch; it is refused whole
// rather than cut into one that might be. Process-wide: too large for the
// stack.
const uint32_t WORD_SIZE = 3 + SWITCH_FOLDER_MAX + 2;
char Word[WORD_SIZE];

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void Refuse(Switches* switches, const char* argument) {
    if (!(switches->given & SWITCH_BAD))
        StrCopyMax(switches->badArgument, argument, sizeof switches->badArgument - 1);
    switches->given |= SWITCH_BAD;
}

// One word: a switch letter after '/' or '-', alone or, for D and P, with
// "=value" (length counts the whole word, also what did not fit).
void TakeSwitch(const char* word, uint32_t length, Switches* switches) {
    bool prefixed = length >= 2 && (word[0] == '/' || word[0] == '-');
    char letter = prefixed ? word[1] : 0;
    if (letter >= 'a' && letter <= 'z')
        letter = (char)(letter - 'a' + 'A');
    if (length == 2) {
        for (uint8_t bit = 0; SWITCH_LETTERS[bit]; ++bit) {
            if (letter == SWITCH_LETTERS[bit]) {
                switches->given |= (uint8_t)(1 << bit);
                return;
            }
        }
    } else if (prefixed && word[2] == '=' && (letter == 'D' || letter == 'P')) {
        bool folder = letter == 'D';
        if (length > 3 && length - 3 <= (folder ? SWITCH_FOLDER_MAX : SWITCH_PASSWORD_MAX)) {
            StrCopy(folder ? switches->targetFolder : switches->password, word + 3);
            return;
        }
    }
    Refuse(switches, word);
}

// Switches that contradict each other are refused rather than settled by an
// order a script writer would have to know.
struct Conflict {
    uint8_t bits;
    char named[6];
};
const Conflict Conflicts[] = {{SWITCH_REPLACE | SWITCH_KEEP, "/O /N"},
                              {SWITCH_NO_COMMAND | SWITCH_WAIT_COMMAND, "/X /W"}};

}  // namespace

// Words as a person types them on a Windows command line: blanks end a word
// outside quotes, a quote opens or closes a quoted part, "" inside one is a
// literal quote. Backslashes are always literal, also before a quote, so
// that /D="C:\Mein Ziel\" means the folder it shows. The program's name is
// the first word.
void ParseCommandLine(const char* p, Switches* switches) {
    MemFill(switches, 0, sizeof *switches);
    char* word = Word;
    for (bool programName = true;; programName = false) {
        while (IsBlank(*p))
            ++p;
        if (*p == 0)
            break;
        uint32_t length = 0;
        bool quoted = false;
        for (char c; (c = *p) != 0 && (quoted || !IsBlank(c)); ++p) {
            if (c == '"') {
                if (!quoted || p[1] != '"') {
                    quoted = !quoted;
                    continue;
                }
                ++p;   // "" inside quotes: one literal quote
            }
            // What does not fit lands on the last place, which the
            // terminator takes: too long for any switch.
            word[length < WORD_SIZE - 1 ? length : WORD_SIZE - 1] = c;
            ++length;
        }
        word[length < WORD_SIZE - 1 ? length : WORD_SIZE - 1] = 0;
        if (!programName)
            TakeSwitch(word, length, switches);
    }
    for (const Conflict& conflict : Conflicts)
        if ((switches->given & conflict.bits) == conflict.bits)
            Refuse(switches, conflict.named);
}
