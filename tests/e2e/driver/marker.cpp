// marker: stands in for the program a self-extractor starts after a run.
// It writes its own full path (UTF-8) into started.txt in the current folder,
// so a test sees which program the command started, and from where.
#include <windows.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t wide[MAX_PATH] = L"";
    char path[3 * MAX_PATH] = "";
    GetModuleFileNameW(nullptr, wide, MAX_PATH);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, sizeof path, nullptr, nullptr);
    HANDLE file = CreateFileA("started.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, path, static_cast<DWORD>(strlen(path)), &written, nullptr);
    CloseHandle(file);
    return 0;
}
