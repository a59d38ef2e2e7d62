// What makes a self-extractor an installer: the program's options string
// table (ui/program_options.h, the one place the stub reads them from) and,
// with --admin, the manifest's request for administrator rights.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>
#include "tools/mksfx/options.h"
#include "tools/mksfx/pe/resource_tree.h"

struct InstallerOptions {
    uint16_t flags = 0;             // OPTION_ bits
    std::u16string title, prompt, license;
    bool admin = false;
    // Something to write: without it the stub's resources stay as they are.
    bool any() const { return flags || !title.empty() || !prompt.empty() || !license.empty() || admin; }
};

// The options as the stub takes them, from the command line; variables in
// target or command (as typed) set OPTION_EXPAND. false with *error for a
// text or a licence file that cannot be used.
bool MakeInstallerOptions(const MksfxOptions& options, InstallerOptions* installer, std::string* error);

// Adds the options' string table (language of the stub) to the items and,
// for admin, rewrites the manifest. false with *error when the stub's
// manifest has no request to rewrite.
bool ApplyInstallerOptions(std::vector<ResourceItem>& items, const InstallerOptions& installer, uint16_t language,
                           std::string* error);
