#include "tools/mksfx/input/name_patterns.h"
#include "tools/mksfx/input/entry_names.h"
#include "tools/mksfx/host/host_system.h"

namespace {

// Names have at most 255 characters; a pattern may be longer only by runs
// of '*' and sets. The limit keeps the matcher's recursion shallow.
const size_t PATTERN_MAX = 1024;

// One bracket expression at pattern[at] ('['); *end receives the position
// behind it. false when it is not closed (the '[' then stands for itself).
bool ParseSet(const std::u32string& pattern, size_t at, char32_t c, bool* inSet, size_t* end) {
    size_t i = at + 1;
    bool negate = i < pattern.size() && (pattern[i] == U'!' || pattern[i] == U'^');
    if (negate) ++i;
    bool found = false;
    bool firstInSet = true;
    for (; i < pattern.size(); ++i) {
        if (pattern[i] == U']' && !firstInSet) {
            *inSet = found != negate;
            *end = i + 1;
            return true;
        }
        firstInSet = false;
        char32_t low = pattern[i], high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == U'-' && pattern[i + 2] != U']') {
            high = pattern[i + 2];
            i += 2;
        }
        if (c >= low && c <= high) found = true;
    }
    return false;
}

// Whether pattern[p..] matches text[t..]. Each (p, t) is decided once and
// remembered in memo (0 unknown, 1 no, 2 yes), so that patterns with many
// '*' take polynomial time on long names.
bool MatchFrom(const std::u32string& pattern, size_t p, const std::u32string& text, size_t t,
               std::vector<uint8_t>& memo) {
    uint8_t& known = memo[p * (text.size() + 1) + t];
    if (known) return known == 2;
    bool result;
    if (p == pattern.size()) {
        result = t == text.size();
    } else if (pattern[p] == U'*') {
        // The run matches nothing, or one more character that is not '/'.
        result = MatchFrom(pattern, p + 1, text, t, memo) ||
                 (t < text.size() && text[t] != U'/' && MatchFrom(pattern, p, text, t + 1, memo));
    } else if (t == text.size()) {
        result = false;
    } else if (pattern[p] == U'?') {
        result = text[t] != U'/' && MatchFrom(pattern, p + 1, text, t + 1, memo);
    } else {
        bool inSet;
        size_t end;
        if (pattern[p] == U'[' && ParseSet(pattern, p, text[t], &inSet, &end))
            result = inSet && text[t] != U'/' && MatchFrom(pattern, end, text, t + 1, memo);
        else
            result = text[t] == pattern[p] && MatchFrom(pattern, p + 1, text, t + 1, memo);
    }
    known = result ? 2 : 1;
    return result;
}

}  // namespace

std::u32string FoldCase(const std::u32string& name) {
    std::u32string folded = name;
    for (char32_t& c : folded)
        if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 32;
    return folded;
}

bool PatternMatches(const std::u32string& pattern, const std::u32string& text) {
    std::vector<uint8_t> memo((pattern.size() + 1) * (text.size() + 1), 0);
    return MatchFrom(pattern, 0, text, 0, memo);
}

bool MakeExcludeRules(const std::vector<std::string>& typed, std::vector<ExcludeRule>* rules, std::string* error) {
    rules->clear();
    for (const std::string& text : typed) {
        ExcludeRule rule;
        rule.typed = text;
        std::u32string pattern;
        if (!NativeToUnicode(text, &pattern)) {
            *error = "--exclude " + text + ": the pattern cannot be decoded";
            return false;
        }
        for (char32_t& c : pattern)
            if (c == U'\\') c = U'/';       // Windows users may type either separator
        if (pattern.size() > 1 && pattern.back() == U'/') {
            rule.foldersOnly = true;
            while (!pattern.empty() && pattern.back() == U'/') pattern.pop_back();
        }
        while (!pattern.empty() && pattern[0] == U'/') {
            pattern.erase(0, 1);            // "/dist" is "dist" from the start
            rule.wholeName = true;
        }
        if (pattern.empty()) {
            *error = "--exclude " + text + ": the pattern matches no name";
            return false;
        }
        if (pattern.size() > PATTERN_MAX) {
            *error = "--exclude: a pattern of more than " + std::to_string(PATTERN_MAX) + " characters";
            return false;
        }
        if (pattern.find(U'/') != std::u32string::npos) rule.wholeName = true;
        rule.pattern = FoldCase(pattern);
        rules->push_back(rule);
    }
    return true;
}

ExcludeRule* MatchExclude(std::vector<ExcludeRule>& rules, const std::u32string& name, bool isFolder) {
    if (rules.empty()) return nullptr;
    std::u32string folded = FoldCase(name);
    size_t slash = folded.find_last_of(U'/');
    std::u32string last = slash == std::u32string::npos ? folded : folded.substr(slash + 1);
    for (ExcludeRule& rule : rules) {
        if (rule.foldersOnly && !isFolder) continue;
        if (PatternMatches(rule.pattern, rule.wholeName ? folded : last)) return &rule;
    }
    return nullptr;
}
