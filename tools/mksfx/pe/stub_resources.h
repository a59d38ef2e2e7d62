// The publisher's own icon and version information in the stub: its resource
// section is rebuilt with the icon as the main icon group (108, the icon of
// the main dialog's window class and the first group, which Explorer shows),
// a version resource and the installer options (the options string table,
// the manifest's request for administrator rights). Dialogs and their icons
// stay as they are.
#pragma once
#include <string>
#include "tools/mksfx/options.h"
#include "tools/mksfx/pe/installer_options.h"

const uint16_t MAIN_ICON_GROUP = 108;

struct StubBranding {
    std::string iconPath;       // empty: the stub's own icon stays
    VersionTexts texts;         // as typed; none given: no version resource
    InstallerOptions installer; // none: no options string table, the manifest as it is
    bool any() const { return !iconPath.empty() || texts.any() || installer.any(); }
};

// false with *error for an icon file, a text or a version that cannot be
// used, or a stub whose resources cannot be rebuilt.
bool BrandStub(std::string& stub, const StubBranding& branding, std::string* error);

// "product \"X\", version 1.2.0.0, ..." for the report.
std::string VersionSummary(const VersionTexts& texts);
