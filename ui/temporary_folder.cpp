// The folder of temporary mode: made new, under a name that no file or
// folder holds, and removed with everything in it once no program holds any
// of its files any more.
#include "ui/ui_state.h"
#include "support/file_layer.h"
#include "support/str_util.h"

// The folder being walked and the name in it, as Windows takes them.
static WCHAR TreePath[6 + WIDE_PATH_UNITS + MAX_PATH];
static WIN32_FIND_DATAW Found;

enum TreeMode { TREE_CHECK, TREE_REMOVE, TREE_LATER };
static TreeMode Mode;

// What Mode does to the file or folder at TreePath; false ends the walk.
// TREE_CHECK: a file that a program holds open (also a running program,
// which holds its own file) answers false. A read-only file loses its mark
// first, as it is going to be deleted anyway.
static bool Visit(bool folder) {
    SetFileAttributesW(TreePath, FILE_ATTRIBUTE_NORMAL);
    if (Mode == TREE_LATER) {
        MoveFileExW(TreePath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return true;
    }
    if (Mode == TREE_REMOVE)
        return folder ? RemoveDirectoryW(TreePath) : DeleteFileW(TreePath);
    if (folder)
        return true;
    HANDLE file = CreateFileW(TreePath, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return true;
}

// Walks the folder TreePath of length units (no trailing backslash), its
// contents first. A link to a folder (a junction) is taken as a name and
// never followed: nothing outside the folder is touched.
static bool Walk(uint32_t length) {
    WCHAR* end = TreePath + length;
    end[0] = '\\';
    end[1] = '*';
    end[2] = 0;
    bool going = true;
    HANDLE search = FindFirstFileW(TreePath, &Found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const WCHAR* name = Found.cFileName;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            uint32_t child = length + 1;
            while ((TreePath[child] = *name++) != 0)
                ++child;
            DWORD attributes = Found.dwFileAttributes;
            if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY)
                going = Walk(child);
            else
                going = Visit(attributes & FILE_ATTRIBUTE_DIRECTORY);
        } while (going && FindNextFileW(search, &Found));
        FindClose(search);
    }
    *end = 0;
    return going && Visit(true);
}

bool MakeTemporaryFolder(const char* base, char* folder) {
    StrCopy(folder, base[0] ? base : "%TEMP%");
    ExpandVariables(folder);
    uint32_t length = StrLength(folder);
    if (folder[length - 1] != '\\')
        folder[length++] = '\\';
    // A new folder, never one that exists: made by this program, it holds
    // nothing but what this run puts there. Names taken by another program
    // started at the same moment are passed over.
    uint32_t seed = GetTickCount();
    for (uint32_t n = 0; n < 64; ++n) {
        FormatText(folder + length, "sfx%08X\\", seed + n);
        if (MakeDirectory(folder) == 0)
            return true;
    }
    return false;
}

void RemoveTemporaryFolder(const char* folder) {
    // A current folder inside cannot be removed.
    SetCurrentDirectoryW(L"\\");
    WCHAR* wide = WidePath(folder, 0);
    uint32_t length = 0;
    while ((TreePath[length] = wide[length]) != 0)
        ++length;
    if (length == 0)
        return;
    if (TreePath[length - 1] == '\\')
        --length;
    for (int tries = 0; tries < 20; ++tries) {
        // A program that left the command's job, or an elevated one that the
        // shell started for it, may still be using the files: as long as one
        // is held open, nothing is removed.
        Mode = TREE_CHECK;
        while (!Walk(length))
            Sleep(500);
        // A file opened again in the meantime (a virus scanner) is tried
        // again a moment later.
        Mode = TREE_REMOVE;
        if (Walk(length))
            return;
        Sleep(500);
    }
    // Not ours to delete: what is left goes when Windows next starts (where
    // Windows lets this program ask for that).
    Mode = TREE_LATER;
    Walk(length);
}
