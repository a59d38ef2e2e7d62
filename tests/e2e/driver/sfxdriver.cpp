// sfxdriver: plays a scenario against a self-extractor running under Wine.
//
// Usage: sfxdriver.exe SCRIPT
//
// SCRIPT is a text file in UTF-8, one step per line; the program's texts are
// read as wide text and compared as UTF-8, whatever the system's ANSI code
// page, and paths, arguments and typed texts reach the program as wide text.
// A step is a verb, its words, and for verbs that take a text the rest of
// the line, taken literally except that {LF} stands for a line feed and
// {CR} for a carriage return. Empty lines and lines starting with '#' are
// ignored. Every wait has a time limit (see "timeout").
//
//   timeout SECONDS            limit of every following wait (default 30)
//   cd DIR                     working folder of the next "start"
//   setattr PATH FLAGS         sets file attributes: letters R S H, or N
//   args TEXT                  arguments of the next "start", as typed on a
//                              command line (quotes and all); used once
//   start EXE                  starts the program (CreateProcess)
//   wait-main                  waits for the program's SfxClass window; it
//                              becomes the current window
//   main                       makes the main window current again
//   wait-dialog CAPTION        waits for a dialog (#32770) with this caption;
//                              it becomes the current window
//   wait-box                   waits for a message box; it becomes current
//   expect-caption TEXT        caption of the current window
//   expect-text ID TEXT        text of a control of the current window
//   expect-box-text TEXT       text of the current message box
//   wait-text ID TEXT          waits until a control shows TEXT
//   wait-text-prefix ID TEXT   waits until a control's text begins with TEXT
//   expect-status TEXT         waits until the status line (1005) shows TEXT
//   wait-progress              waits until the status line shows a percentage
//   expect-visible ID / expect-hidden ID
//   expect-line ID SIZE Y-M-D H:M:S   file line of the overwrite dialog for
//                              a file of SIZE bytes modified at that local time
//   expect-line-file ID PATH   the same for the file PATH as it is now
//   settext ID TEXT            puts TEXT into a control (WM_SETTEXT)
//   click ID                   posts the button's command to the current window
//   wait-gone                  waits until the current window is destroyed
//   expect-no-window CAPTION   no visible window of the program has CAPTION
//   expect-no-box              no message box or dialog of the program is open
//   expect-missing PATH        no file or folder PATH exists
//   shot NAME                  asks the runner for a screenshot and waits
//   sleep MS                   lets the program work (never a timing check)
//   wait-exit CODE             waits for the program to end with CODE
//   wait-exit-quiet CODE       the same, failing if any box or dialog appears
//   expect-acp CODEPAGE        the system's ANSI code page
//   hold / release             suspends every thread of the program / lets
//                              them go on: a click posted in between is the
//                              first thing the program sees afterwards, so a
//                              run that would end within a few milliseconds
//                              can still be cancelled while it works
//   poll MS                    pause between two looks of every following wait
//                              (default 20; benchmarks look more often)
//   clock                      starts the stopwatch (benchmarks)
//   clock-print NAME           prints "time NAME SECONDS" since "clock"; a
//                              figure for the benchmark, never a check
//
// Screenshots: the driver prints "@@SHOT NAME" and waits for one line on its
// standard input, which the runner sends once the picture is taken.
// On the first failing step the driver prints "FAIL line N: why", asks for a
// screenshot "fail", ends the program and exits with 1.
#include <windows.h>
#include <tlhelp32.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

PROCESS_INFORMATION Child = {};
bool ChildStarted = false;
HWND MainDialog = nullptr;
HWND Current = nullptr;
DWORD WaitLimitMs = 30000;
DWORD PollMs = 20;
LARGE_INTEGER ClockStart = {};
std::string WorkFolder;
std::string StartArguments;
int LineNumber = 0;

// Texts are printed byte for byte; non-ASCII bytes as \xNN so that logs stay
// readable whatever the terminal's encoding.
std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "{LF}";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

void RequestShot(const std::string& name) {
    printf("@@SHOT %s\n", name.c_str());
    fflush(stdout);
    char ack[64];
    if (!fgets(ack, sizeof ack, stdin))
        Log("note: no screenshot acknowledgement (runner without screenshots)");
}

[[noreturn]] void Fail(const std::string& why) {
    Log("FAIL line %d: %s", LineNumber, why.c_str());
    if (ChildStarted) {
        DWORD code = 0;
        if (GetExitCodeProcess(Child.hProcess, &code) && code == STILL_ACTIVE) {
            RequestShot("fail");
            TerminateProcess(Child.hProcess, 99);
            WaitForSingleObject(Child.hProcess, 5000);
        }
    }
    exit(1);
}

std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Texts are read as wide text and compared as UTF-8, the script's encoding,
// whatever the system's ANSI code page is: a program that shows its texts
// right under another code page is then seen to do so, and one that does not
// shows other letters.
std::string ToUtf8(const wchar_t* wide) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], size, nullptr, nullptr);
    text.resize(strlen(text.c_str()));
    return text;
}

std::wstring Wide(const std::string& text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], size);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

std::string CaptionOf(HWND window) {
    wchar_t caption[512] = L"";
    GetWindowTextW(window, caption, 512);
    return ToUtf8(caption);
}

// WM_GETTEXT through SendMessageTimeout: the program answers from inside its
// message pump even while an extraction runs.
bool TryTextOf(HWND window, std::string* text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return false;
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return false;
    *text = ToUtf8(buffer.data());
    return true;
}

std::string TextOf(HWND window) {
    std::string text;
    if (!TryTextOf(window, &text))
        Fail("the window gave no text (gone or not answering)");
    return text;
}

HWND Control(int id) {
    if (!Current || !IsWindow(Current))
        Fail("no current window");
    HWND control = GetDlgItem(Current, id);
    if (!control)
        Fail("the current window has no control " + std::to_string(id));
    return control;
}

bool ChildRunning() {
    return WaitForSingleObject(Child.hProcess, 0) == WAIT_TIMEOUT;
}

struct WindowQuery {
    DWORD pid;
    std::string className;   // empty: any class
    std::string caption;     // used when matchCaption
    bool matchCaption;
    bool messageBoxOnly;
    HWND found;
};

// A message box is a dialog with no edit control, whose text sits in a
// static that is not an icon; the driver recognises it by that shape so it
// does not depend on the static's id, which differs between platforms.
HWND MessageTextStatic(HWND box) {
    HWND found = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::string cls = ClassOf(child);
        if (_stricmp(cls.c_str(), "Edit") == 0)
            return nullptr;
        if (_stricmp(cls.c_str(), "Static") == 0) {
            LONG style = GetWindowLongA(child, GWL_STYLE);
            if ((style & SS_TYPEMASK) == SS_ICON)
                continue;
            if (!(style & WS_VISIBLE))
                return nullptr;   // hidden statics: a dialog of the program, not a box
            if (found)
                return nullptr;   // several texts: not a message box
            found = child;
        }
    }
    return found;
}

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    WindowQuery* query = reinterpret_cast<WindowQuery*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != query->pid || !IsWindowVisible(window))
        return TRUE;
    if (!query->className.empty() && ClassOf(window) != query->className)
        return TRUE;
    if (query->matchCaption) {
        if (query->caption != CaptionOf(window))
            return TRUE;
    }
    if (query->messageBoxOnly && !MessageTextStatic(window))
        return TRUE;
    query->found = window;
    return FALSE;
}

HWND FindProgramWindow(const std::string& className, const std::string* caption, bool messageBox) {
    WindowQuery query{Child.dwProcessId, className, caption ? *caption : std::string(), caption != nullptr,
                      messageBox, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

template <typename Test>
void WaitFor(const std::string& what, Test test) {
    DWORD start = GetTickCount();
    for (;;) {
        if (test())
            return;
        if (!ChildRunning())
            Fail("the program ended while waiting for " + what);
        if (GetTickCount() - start > WaitLimitMs)
            Fail("timed out waiting for " + what);
        Sleep(PollMs);
    }
}

// Expands {LF} into a line feed and {CR} into a carriage return.
std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 4, "{LF}") == 0 || text.compare(i, 4, "{CR}") == 0) {
            out += text[i + 1] == 'L' ? '\n' : '\r';
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Formatting may write a line break as CR LF; the line shown is the same.
std::string WithoutCarriageReturns(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

void ExpectEqual(const std::string& what, const std::string& actual, const std::string& expected) {
    if (actual != expected)
        Fail(what + ": expected \"" + Printable(expected) + "\", got \"" + Printable(actual) + "\"");
    Log("ok   %s = \"%s\"", what.c_str(), Printable(actual).c_str());
}

// The file line as a person would expect it from the file's size and local
// modification time: the user's long date and 24-hour time, bytes below
// 1024, whole kilobytes from there on.
std::string ExpectedFileLine(uint64_t size, const SYSTEMTIME& local) {
    wchar_t date[100] = L"";
    wchar_t time[100] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &local, nullptr, date, 100);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_FORCE24HOURFORMAT, &local, nullptr, time, 100);
    char line[512];
    if (size < 1024)
        snprintf(line, sizeof line, "%u Bytes\nge\xC3\xA4ndert am %s, %s", unsigned(size), ToUtf8(date).c_str(),
                 ToUtf8(time).c_str());
    else
        snprintf(line, sizeof line, "%u KB\nge\xC3\xA4ndert am %s, %s", unsigned(size >> 10), ToUtf8(date).c_str(),
                 ToUtf8(time).c_str());
    return line;
}

struct Step {
    std::string verb;
    std::vector<std::string> words;   // the words after the verb
    std::string rest;                 // the line after the verb
    // The line after the verb and its first n words.
    std::string After(size_t n) const {
        size_t pos = 0;
        for (size_t i = 0; i < n; ++i) {
            while (pos < rest.size() && rest[pos] == ' ')
                ++pos;
            while (pos < rest.size() && rest[pos] != ' ')
                ++pos;
        }
        if (pos < rest.size() && rest[pos] == ' ')
            ++pos;
        return Unescape(rest.substr(pos));
    }
    int Id(size_t index) const {
        if (index >= words.size())
            Fail(verb + ": missing control id");
        return atoi(words[index].c_str());
    }
};

Step Parse(const std::string& line) {
    Step step;
    size_t space = line.find(' ');
    step.verb = line.substr(0, space);
    step.rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    size_t pos = 0;
    while (pos < step.rest.size()) {
        while (pos < step.rest.size() && step.rest[pos] == ' ')
            ++pos;
        size_t end = step.rest.find(' ', pos);
        if (end == std::string::npos)
            end = step.rest.size();
        if (end > pos)
            step.words.push_back(step.rest.substr(pos, end - pos));
        pos = end;
    }
    return step;
}

void PostCommand(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    if (!PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control)))
        Fail("could not post command " + std::to_string(id));
}

void WaitExit(DWORD expected, bool quiet) {
    DWORD start = GetTickCount();
    while (ChildRunning()) {
        if (quiet) {
            HWND dialog = FindProgramWindow("#32770", nullptr, false);
            if (dialog) {
                // A box being closed may still be visible for a moment.
                Sleep(300);
                if (!IsWindow(dialog) || !IsWindowVisible(dialog))
                    continue;
                std::string caption = CaptionOf(dialog);
                RequestShot("unexpected");
                HWND text = MessageTextStatic(dialog);
                std::string said;
                Fail(std::string("unexpected window \"") + Printable(caption) + "\"" +
                     (text && TryTextOf(text, &said) ? " saying \"" + Printable(said) + "\"" : std::string()));
            }
        }
        if (GetTickCount() - start > WaitLimitMs)
            Fail("the program did not end");
        Sleep(20);
    }
    DWORD code = 0;
    GetExitCodeProcess(Child.hProcess, &code);
    if (code != expected)
        Fail("exit code " + std::to_string(code) + ", expected " + std::to_string(expected));
    Log("ok   exit code %lu", static_cast<unsigned long>(code));
}

// Suspends (or resumes) every thread of the started program; returns how
// many there were.
int SuspendProgram(bool suspend) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        Fail("no thread snapshot");
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != Child.dwProcessId)
            continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (!thread)
            continue;
        DWORD previous = suspend ? SuspendThread(thread) : ResumeThread(thread);
        CloseHandle(thread);
        if (previous != static_cast<DWORD>(-1))
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

void Run(const Step& step) {
    const std::string& v = step.verb;
    if (v == "timeout") {
        WaitLimitMs = static_cast<DWORD>(atoi(step.rest.c_str())) * 1000;
    } else if (v == "poll") {
        PollMs = static_cast<DWORD>(atoi(step.rest.c_str()));
    } else if (v == "clock") {
        QueryPerformanceCounter(&ClockStart);
    } else if (v == "clock-print") {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        Log("time %s %.4f", step.rest.c_str(),
            static_cast<double>(now.QuadPart - ClockStart.QuadPart) / static_cast<double>(frequency.QuadPart));
    } else if (v == "hold" || v == "release") {
        if (!ChildStarted)
            Fail("no program started");
        int threads = SuspendProgram(v == "hold");
        if (threads == 0)
            Fail("no thread of the program could be " + std::string(v == "hold" ? "suspended" : "resumed"));
        Log("ok   %s %d thread(s)", v == "hold" ? "held" : "released", threads);
    } else if (v == "cd") {
        WorkFolder = step.rest;
    } else if (v == "setattr") {
        if (step.words.size() != 2)
            Fail("setattr PATH FLAGS");
        DWORD attributes = 0;
        for (char c : step.words[1]) {
            if (c == 'R') attributes |= FILE_ATTRIBUTE_READONLY;
            if (c == 'S') attributes |= FILE_ATTRIBUTE_SYSTEM;
            if (c == 'H') attributes |= FILE_ATTRIBUTE_HIDDEN;
        }
        if (!attributes)
            attributes = FILE_ATTRIBUTE_NORMAL;
        if (!SetFileAttributesW(Wide(step.words[0]).c_str(), attributes))
            Fail("SetFileAttributesW failed on " + step.words[0]);
        DWORD now = GetFileAttributesW(Wide(step.words[0]).c_str());
        if (attributes != FILE_ATTRIBUTE_NORMAL && (now & attributes) != attributes)
            Fail("attributes did not stick on " + step.words[0]);
        Log("ok   attributes of %s: 0x%lx", step.words[0].c_str(), static_cast<unsigned long>(now));
    } else if (v == "args") {
        StartArguments = step.After(0);
    } else if (v == "start") {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + step.rest + "\"";
        if (!StartArguments.empty())
            commandLine += " " + StartArguments;
        StartArguments.clear();
        std::wstring line = Wide(commandLine);
        std::wstring folder = Wide(WorkFolder);
        // Wine under load now and then fails a start with an internal error
        // (1359) before the program runs at all: that one start is tried again.
        BOOL started = FALSE;
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            started = CreateProcessW(Wide(step.rest).c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                     WorkFolder.empty() ? nullptr : folder.c_str(), &startup, &Child);
            if (!started && GetLastError() != ERROR_INTERNAL_ERROR)
                break;
            if (!started)
                Sleep(500);
        }
        if (!started)
            Fail("CreateProcess failed for " + step.rest + " (error " + std::to_string(GetLastError()) + ")");
        ChildStarted = true;
        Log("ok   started %s (pid %lu)", Printable(commandLine).c_str(), static_cast<unsigned long>(Child.dwProcessId));
    } else if (v == "wait-main") {
        WaitFor("the main window", [] { return (MainDialog = FindProgramWindow("SfxClass", nullptr, false)); });
        Current = MainDialog;
        Log("ok   main window");
    } else if (v == "main") {
        Current = MainDialog;
    } else if (v == "wait-dialog") {
        std::string caption = step.After(0);
        HWND found = nullptr;
        WaitFor("dialog \"" + Printable(caption) + "\"",
                [&] { return (found = FindProgramWindow("#32770", &caption, false)) != nullptr; });
        Current = found;
        Log("ok   dialog \"%s\"", Printable(caption).c_str());
    } else if (v == "wait-box") {
        HWND found = nullptr;
        WaitFor("a message box", [&] { return (found = FindProgramWindow("#32770", nullptr, true)) != nullptr; });
        Current = found;
        Log("ok   message box");
    } else if (v == "expect-caption") {
        if (!Current)
            Fail("no current window");
        ExpectEqual("caption", CaptionOf(Current), step.After(0));
    } else if (v == "expect-text") {
        ExpectEqual("control " + step.words.at(0), TextOf(Control(step.Id(0))), step.After(1));
    } else if (v == "expect-box-text") {
        HWND text = Current ? MessageTextStatic(Current) : nullptr;
        if (!text)
            Fail("the current window is no message box");
        ExpectEqual("message", TextOf(text), step.After(0));
    } else if (v == "wait-text" || v == "wait-text-prefix" || v == "expect-status") {
        bool prefix = v == "wait-text-prefix";
        int id = v == "expect-status" ? 1005 : step.Id(0);
        std::string expected = step.After(v == "expect-status" ? 0 : 1);
        HWND control = v == "expect-status" ? GetDlgItem(MainDialog, 1005) : Control(id);
        if (!control)
            Fail("no status line");
        std::string last;
        DWORD start = GetTickCount();
        for (;;) {
            // A program busy for a moment (slow under qemu) answers later.
            std::string now;
            if (TryTextOf(control, &now))
                last = now;
            else if (!IsWindow(control))
                Fail("the window is gone");
            if (prefix ? last.compare(0, expected.size(), expected) == 0 : last == expected)
                break;
            if (GetTickCount() - start > WaitLimitMs || !ChildRunning())
                Fail("control " + std::to_string(id) + ": expected \"" + Printable(expected) + "\"" +
                     (prefix ? "..." : "") + ", last seen \"" + Printable(last) + "\"");
            Sleep(20);
        }
        Log("ok   control %d = \"%s\"", id, Printable(last).c_str());
    } else if (v == "wait-progress") {
        HWND status = GetDlgItem(MainDialog, 1005);
        std::string seen;
        WaitFor("a percentage in the status line", [&] {
            seen = TextOf(status);
            return seen.find('%') != std::string::npos;
        });
        Log("ok   progress \"%s\"", Printable(seen).c_str());
    } else if (v == "expect-visible" || v == "expect-hidden") {
        bool visible = (GetWindowLongA(Control(step.Id(0)), GWL_STYLE) & WS_VISIBLE) != 0;
        if (visible != (v == "expect-visible"))
            Fail("control " + step.words[0] + (visible ? " is visible" : " is hidden"));
        Log("ok   control %s %s", step.words[0].c_str(), visible ? "visible" : "hidden");
    } else if (v == "expect-line") {
        if (step.words.size() != 4)
            Fail("expect-line ID SIZE Y-M-D H:M:S");
        SYSTEMTIME local = {};
        if (sscanf(step.words[2].c_str(), "%hu-%hu-%hu", &local.wYear, &local.wMonth, &local.wDay) != 3 ||
            sscanf(step.words[3].c_str(), "%hu:%hu:%hu", &local.wHour, &local.wMinute, &local.wSecond) != 3)
            Fail("bad date or time");
        uint32_t size = static_cast<uint32_t>(strtoul(step.words[1].c_str(), nullptr, 10));
        ExpectEqual("file line " + step.words[0], WithoutCarriageReturns(TextOf(Control(step.Id(0)))),
                    ExpectedFileLine(size, local));
    } else if (v == "expect-line-file") {
        std::string path = step.After(1);
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW(Wide(path).c_str(), &data);
        if (search == INVALID_HANDLE_VALUE)
            Fail("cannot find " + path);
        FindClose(search);
        FILETIME localTime;
        SYSTEMTIME local;
        FileTimeToLocalFileTime(&data.ftLastWriteTime, &localTime);
        FileTimeToSystemTime(&localTime, &local);
        ExpectEqual("file line " + step.words[0], WithoutCarriageReturns(TextOf(Control(step.Id(0)))),
                    ExpectedFileLine((uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow, local));
    } else if (v == "settext") {
        std::string text = step.After(1);
        std::wstring wide = Wide(text);
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(Control(step.Id(0)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                                 SMTO_ABORTIFHUNG, 5000, &ignored))
            Fail("WM_SETTEXT got no answer");
        Log("ok   control %d := \"%s\"", step.Id(0), Printable(text).c_str());
    } else if (v == "click") {
        Control(step.Id(0));
        PostCommand(Current, step.Id(0));
        Log("ok   clicked %d", step.Id(0));
    } else if (v == "wait-gone") {
        HWND window = Current;
        WaitFor("the window to close", [&] { return !IsWindow(window) || !IsWindowVisible(window); });
        Current = MainDialog;
        Log("ok   window closed");
    } else if (v == "expect-no-window") {
        std::string caption = step.After(0);
        if (FindProgramWindow("", &caption, false))
            Fail("window \"" + Printable(caption) + "\" is open");
        Log("ok   no window \"%s\"", Printable(caption).c_str());
    } else if (v == "expect-no-box") {
        if (HWND dialog = FindProgramWindow("#32770", nullptr, false)) {
            Fail("unexpected window \"" + Printable(CaptionOf(dialog)) + "\"");
        }
        Log("ok   no box");
    } else if (v == "expect-missing") {
        if (GetFileAttributesW(Wide(step.rest).c_str()) != INVALID_FILE_ATTRIBUTES)
            Fail(step.rest + " exists");
        Log("ok   no %s", step.rest.c_str());
    } else if (v == "shot") {
        RequestShot(step.rest);
    } else if (v == "sleep") {
        Sleep(static_cast<DWORD>(atoi(step.rest.c_str())));
    } else if (v == "wait-exit" || v == "wait-exit-quiet") {
        WaitExit(static_cast<DWORD>(atoi(step.rest.c_str())), v == "wait-exit-quiet");
    } else if (v == "expect-acp") {
        // Scenarios about other code pages first make sure they run in one.
        if (GetACP() != static_cast<UINT>(atoi(step.rest.c_str())))
            Fail("the ANSI code page is " + std::to_string(GetACP()));
        Log("ok   ANSI code page %u", GetACP());
    } else if (v == "echo") {
        Log("%s", step.rest.c_str());
    } else {
        Fail("unknown step \"" + v + "\"");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: sfxdriver SCRIPT\n");
        return 2;
    }
    FILE* script = fopen(argv[1], "rb");
    if (!script) {
        Log("FAIL line 0: cannot open %s", argv[1]);
        return 1;
    }
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, script)) {
        ++LineNumber;
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        Run(Parse(line));
    }
    fclose(script);
    if (ChildStarted && ChildRunning()) {
        Log("FAIL line %d: the script ended while the program still runs", LineNumber);
        RequestShot("fail");
        TerminateProcess(Child.hProcess, 99);
        return 1;
    }
    Log("PASS");
    return 0;
}
