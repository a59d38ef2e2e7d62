// Entry names as the builder stores them, and the rules that keep every name
// extractable by the stub (which refuses unsafe names instead of writing them).
#pragma once
#include <stdint.h>
#include <string>

// What the name field holds; one component of a Windows path holds 255
// UTF-16 units.
const size_t MAX_ENTRY_NAME = 0xFFFF;
const size_t MAX_COMPONENT_UNITS = 255;

void AppendUtf8(std::string& out, char32_t c);
std::string ToUtf8(const std::u32string& text);
// false for malformed UTF-8 (also overlong forms and surrogates).
bool DecodeUtf8(const std::string& bytes, std::u32string* text);
std::u32string DecodeCp850(const std::string& bytes);
// false when a character has no place in Windows code page 1252.
bool ToCp1252(const std::u32string& text, std::string* bytes);

// The stored bytes of a name: ASCII as it is, any other name UTF-8 with
// *utf8 set (general purpose flag bit 11), which every reader of today takes.
std::string EncodeEntryName(const std::u32string& name, bool* utf8);

// true when the stub would extract the name ('/' separated, directories end in
// '/'); otherwise *problem says why, naming the entry.
bool CheckEntryName(const std::u32string& name, std::string* problem);
