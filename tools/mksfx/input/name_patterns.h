// --exclude: shell patterns on the stored names, and what each left out.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

struct ExcludeRule {
    std::string typed;          // as given on the command line
    std::u32string pattern;     // case folded, without a trailing '/'
    bool wholeName = false;     // holds a '/': matched against the whole name
    bool foldersOnly = false;   // ended in '/'
    // What the rule left out.
    uint32_t files = 0;
    uint32_t folders = 0;       // each with everything in it
    uint64_t bytes = 0;         // of the files
};

// false with *error for a pattern that cannot be decoded or is malformed.
bool MakeExcludeRules(const std::vector<std::string>& typed, std::vector<ExcludeRule>* rules, std::string* error);

// The first rule that matches the entry name ('/' separated, without a
// trailing '/'), or null.
ExcludeRule* MatchExclude(std::vector<ExcludeRule>& rules, const std::u32string& name, bool isFolder);

// '*' (any run without '/'), '?' (one character but '/'), [set], [!set] and
// [^set] with ranges; everything else stands for itself.
bool PatternMatches(const std::u32string& pattern, const std::u32string& text);

// Upper case to lower case for ASCII and Latin-1 letters, as Windows compares
// file names in the code pages the stub writes.
std::u32string FoldCase(const std::u32string& name);
