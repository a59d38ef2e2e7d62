// Win32 back-end of the platform layer.
#include "support/platform.h"
#include "support/str_util.h"
#include "support/wide_win32.h"
#include <stdarg.h>
#include <windows.h>

int FormatText(char* dest, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = wvsprintfA(dest, format, args);
    va_end(args);
    return length;
}

uint32_t SetFileDosTime(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
    FILETIME local;
    FILETIME utc;
    if (!DosDateTimeToFileTime(dosDate, dosTime, &local) || !LocalFileTimeToFileTime(&local, &utc) ||
        !SetFileTime(reinterpret_cast<HANDLE>(file), nullptr, nullptr, &utc))
        return GetLastError();
    return 0;
}

// Both code pages map every byte to one character of the Basic
// Multilingual Plane; a page the system lacks gives '?', which no name takes.
uint32_t CodePageToUnicode(uint32_t codePage, uint8_t byte) {
    WCHAR wide = '?';
    MultiByteToWideChar(codePage, 0, reinterpret_cast<LPCCH>(&byte), 1, &wide, 1);
    return wide;
}

// The folder and the command line as Windows takes them (one at a time).
static WCHAR WideText[WIDE_PATH_UNITS];

// The current folder stays the usual form: a child inherits it, and the
// long-path prefix there would confuse many a program.
void SetCurrentFolder(const char* folder) {
    Utf8ToWide(folder, WideText, WIDE_PATH_UNITS);
    SetCurrentDirectoryW(WideText);
}

// CreateProcess looks for the program as WinExec does, and gives a handle to
// wait on. A command line that is not UTF-8 or too long does not start.
static HANDLE StartedProcess;
// The job of the started program when StartInJob: every process it starts
// belongs to it too, unless it asks to leave (which must stay possible, or
// such a program would not start its own).
bool StartInJob;
static HANDLE StartedJob;

// Out of line: its records would otherwise widen the caller's frame, and every
// access there with it.
__attribute__((noinline)) uint32_t StartProgram(char* commandLine) {
    STARTUPINFOW startup;
    MemFill(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!Utf8ToWide(commandLine, WideText, WIDE_PATH_UNITS) ||
        !CreateProcessW(nullptr, WideText, nullptr, nullptr, FALSE, StartInJob ? CREATE_SUSPENDED : 0, nullptr,
                        nullptr, &startup, &process))
        return 0;
    if (StartInJob) {
        // Into the job before it runs a single instruction. Where that fails
        // (Windows 7 does not nest jobs), the program alone is waited for.
        StartedJob = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        MemFill(&limits, 0, sizeof limits);
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
        SetInformationJobObject(StartedJob, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        AssignProcessToJobObject(StartedJob, process.hProcess);
        ResumeThread(process.hThread);
    }
    CloseHandle(process.hThread);
    StartedProcess = process.hProcess;
    return SFX_RUN_STARTED;
}

uint32_t WaitForStartedProgram() {
    DWORD code = 0;
    WaitForSingleObject(StartedProcess, INFINITE);
    GetExitCodeProcess(StartedProcess, &code);
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION job;
    while (StartedJob &&
           QueryInformationJobObject(StartedJob, JobObjectBasicAccountingInformation, &job, sizeof job, nullptr) &&
           job.ActiveProcesses != 0)
        Sleep(100);
    return code;
}
