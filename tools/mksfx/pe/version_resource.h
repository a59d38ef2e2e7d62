// The version resource (VS_VERSIONINFO) that Explorer shows under "Details".
#pragma once
#include <stdint.h>
#include <string>

struct VersionFields {
    uint16_t number[4] = {0, 0, 0, 0};  // file and product version a.b.c.d
    bool hasNumber = false;
    // UTF-16 texts; empty ones are left out.
    std::u16string product, company, description, copyright;
    uint16_t language = 0x0407;         // of the string table and translation
};

// "a", "a.b", "a.b.c" or "a.b.c.d", numbers of 0-65535; missing parts are 0.
bool ParseVersionNumber(const std::string& text, uint16_t number[4]);

// The resource data: fixed file information, one string table in UTF-16
// (code page 1200) for the language, and its translation entry.
std::string VersionResourceData(const VersionFields& fields);
