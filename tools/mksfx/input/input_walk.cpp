// Walking the input files and folders, with every refusal that can be
// decided before anything is written.
#include "tools/mksfx/input/input_walk.h"
#include "tools/mksfx/input/entry_names.h"
#include "tools/mksfx/host/host_system.h"

#include <algorithm>
#include <set>

namespace {

bool IsSeparatorChar(char c) { return c == '/' || c == NativeSeparator(); }

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && IsSeparatorChar(folder.back())) return folder + name;
    return folder + NativeSeparator() + name;
}

// The last component of a path, without trailing separators.
std::string BaseName(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && IsSeparatorChar(path[end - 1])) --end;
    size_t start = end;
    while (start > 0 && !IsSeparatorChar(path[start - 1]) && path[start - 1] != ':') --start;
    return path.substr(start, end - start);
}

struct Walk {
    std::vector<PackItem>* items;
    InputRules* rules;
    std::string* error;
};

bool AddName(const std::u32string& parent, const std::string& nativeName, std::u32string* name,
             const std::string& sourcePath, std::string* error) {
    std::u32string part;
    if (!NativeToUnicode(nativeName, &part)) {
        *error = sourcePath + ": the name cannot be decoded (not valid UTF-8)";
        return false;
    }
    if (part.find(U'\\') != std::u32string::npos) {
        *error = sourcePath + ": the name holds a backslash, which Windows takes as a folder separator";
        return false;
    }
    *name = parent + part;
    return true;
}

bool WalkPath(Walk& walk, const std::string& path, const std::u32string& name) {
    PathFacts facts;
    if (!GetPathFacts(path, &facts, walk.error)) return false;
    if (ExcludeRule* rule = MatchExclude(walk.rules->excludes, name, facts.kind == PATH_FOLDER)) {
        if (facts.kind == PATH_FOLDER) {
            ++rule->folders;
        } else {
            ++rule->files;
            rule->bytes += facts.size;
        }
        return true;
    }
    if (walk.rules->clampTimes && facts.modified > walk.rules->latestTime)
        UnixTimeToDos(walk.rules->latestTime, &facts.dosDate, &facts.dosTime);
    // Checked on the way down, so a folder that contains itself through a link
    // ends here instead of recursing without end.
    std::u32string entryName = name + (facts.kind == PATH_FOLDER ? U"/" : U"");
    std::string problem;
    if (!CheckEntryName(entryName, &problem)) {
        *walk.error = path + ": " + problem;
        return false;
    }
    switch (facts.kind) {
    case PATH_MISSING:
        *walk.error = path + ": no such file or folder";
        return false;
    case PATH_OTHER:
        *walk.error = path + ": neither a file nor a folder";
        return false;
    case PATH_FILE:
        walk.items->push_back({path, name, false, facts.size, facts.dosDate, facts.dosTime});
        break;
    case PATH_FOLDER: {
        std::vector<std::string> children;
        if (!ListFolder(path, &children, walk.error)) return false;
        if (children.empty()) {
            walk.items->push_back({path, entryName, true, 0, facts.dosDate, facts.dosTime});
            break;
        }
        std::sort(children.begin(), children.end());
        for (const std::string& child : children) {
            std::string childPath = JoinPath(path, child);
            std::u32string childName;
            if (!AddName(entryName, child, &childName, childPath, walk.error)) return false;
            if (!WalkPath(walk, childPath, childName)) return false;
        }
        break;
    }
    }
    return true;
}

}  // namespace

bool CollectInputs(const std::vector<std::string>& paths, InputRules& rules, std::vector<PackItem>* items,
                   std::string* error) {
    items->clear();
    Walk walk{items, &rules, error};
    for (const std::string& path : paths) {
        std::string base = BaseName(path);
        if (base.empty() || base == "." || base == "..") {
            *error = path + ": give the folder by its own name (for example ../NAME) or the files "
                     "in it (NAME/*), so that every entry name starts with a name";
            return false;
        }
        std::u32string name;
        if (!AddName(U"", base, &name, path, error)) return false;
        if (!WalkPath(walk, path, name)) return false;
    }
    // Two entries that Windows would write to the same file: the second would
    // silently replace the first, or ask the user to.
    std::set<std::u32string> seen;
    for (const PackItem& item : *items) {
        if (!seen.insert(FoldCase(item.name)).second) {
            *error = "\"" + ToUtf8(item.name) + "\" is given twice (names that differ only in case "
                     "are the same file on Windows)";
            return false;
        }
    }
    return true;
}
