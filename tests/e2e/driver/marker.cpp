// marker: stands in for the program a self-extractor starts after a run.
//
//   sfxmarker.exe                writes its own full path (UTF-8) into
//                                started.txt in the current folder, so a test
//                                sees which program the command started, and
//                                from where
//   sfxmarker.exe spawn CODE REPORT CHILD [away]
//                                a setup that hands over at once: starts the
//                                program CHILD as "child REPORT FOLDER" (its
//                                own folder), with "away" asking to leave the
//                                job it runs in, and exits with CODE without
//                                waiting for it
//   sfxmarker.exe child REPORT FOLDER
//                                the real installer: works for three seconds,
//                                then writes into REPORT the FOLDER and
//                                whether FOLDER\daten.txt is still there
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

namespace {

void WriteText(const wchar_t* path, const wchar_t* text) {
    char utf8[4 * MAX_PATH] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, utf8, static_cast<DWORD>(strlen(utf8)), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count >= 5 && wcscmp(args[1], L"spawn") == 0) {
        wchar_t folder[MAX_PATH];
        wcscpy(folder, self);
        *wcsrchr(folder, L'\\') = 0;
        wchar_t line[4 * MAX_PATH];
        wsprintfW(line, L"\"%s\" child \"%s\" \"%s\"", args[4], args[3], folder);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        DWORD flags = count >= 6 && wcscmp(args[5], L"away") == 0 ? CREATE_BREAKAWAY_FROM_JOB : 0;
        if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &process))
            return 98;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return _wtoi(args[2]);
    }
    if (count >= 4 && wcscmp(args[1], L"child") == 0) {
        Sleep(3000);
        wchar_t data[MAX_PATH + 16];
        wsprintfW(data, L"%s\\daten.txt", args[3]);
        bool present = GetFileAttributesW(data) != INVALID_FILE_ATTRIBUTES;
        wchar_t report[MAX_PATH + 16];
        wsprintfW(report, L"%s\n%s\n", args[3], present ? L"present" : L"missing");
        WriteText(args[2], report);
        return 0;
    }
    WriteText(L"started.txt", self);
    return 0;
}
