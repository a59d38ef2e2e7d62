// The builder is the front-end of the engine while it reads its output back:
// it extracts everything without asking, answers the password prompt with
// --password and keeps every message to itself.
#include "tools/mksfx/pack/readback_check.h"
#include "tools/mksfx/host/host_system.h"

#include "archive/archive_open.h"
#include "archive/catalog.h"
#include "engine/extract_run.h"
#include "engine/front_end.h"
#include "support/str_util.h"

#include <string.h>

namespace {

// What a path of this system may hold, with room to spare.
const size_t HOST_PATH_ROOM = 4000;

struct CheckSession {
    const ReadbackExpect* expect = nullptr;
    ReadbackReport* report = nullptr;
    uint32_t entriesDone = 0;
    SfxStatus runStatus = SFX_OK;
    bool runStatusShown = false;
    bool passwordGiven = false;
    size_t scratchLength = 0;
};

CheckSession Session;

std::string StatusText(SfxStatus status) {
    switch (status) {
    case SFX_ERR_IO: return "read or write error";
    case SFX_ERR_NOMEM: return "out of memory";
    case SFX_USER_ABORT: return "cancelled";
    case SFX_ERR_PASSWORD: return "password not accepted";
    case SFX_ERR_BAD_DATA: return "damaged data or unsafe name";
    case SFX_ERR_NO_ARCHIVE: return "no archive found";
    case SFX_ERR_EMPTY: return "no entries";
    case SFX_ERR_UNSUPPORTED: return "unsupported method or version";
    case SFX_ERR_CRC: return "CRC-32 mismatch";
    case SFX_ERR_CREATE: return "output file could not be created";
    default: return "status " + std::to_string(status);
    }
}

}  // namespace

int FrontConfirmEntry(const CatalogEntry*, const char*) { return 0; }

bool FrontProgress(uint64_t, uint64_t) { return true; }

bool FrontEntryDone(const CatalogEntry* entry, const char* targetPath, SfxStatus status) {
    ++Session.entriesDone;
    if (status == SFX_OK) {
        ++Session.report->checked;
    } else if ((status == SFX_ERR_CREATE || status == SFX_ERR_IO) &&
               Session.scratchLength + entry->nameLength > HOST_PATH_ROOM) {
        // Names near the limit do not fit behind the scratch folder on this
        // system; they are the user's target folder's business, not a fault
        // of the file.
        ++Session.report->longUnchecked;
    } else if (status == SFX_ERR_PASSWORD && !Session.expect->hasPassword &&
               (entry->header.flags & ZIP_FLAG_ENCRYPTED)) {
        ++Session.report->lockedUnchecked;
    } else {
        Session.report->problems.push_back(std::string(targetPath) + ": " + StatusText(status) + " (" +
                                           std::to_string(status) + ")");
    }
    return true;
}

// The engine asks once for the run, and again only when the password it holds
// does not fit an entry: --password is the one answer there is, and giving it
// again would have the engine ask for ever.
int FrontAskPassword(char* password, const char*) {
    if (!Session.expect->hasPassword || Session.passwordGiven) return 0;
    Session.passwordGiven = true;
    size_t n = Session.expect->password.size();
    if (n >= PASSWORD_SIZE) n = PASSWORD_SIZE - 1;
    memcpy(password, Session.expect->password.data(), n);
    password[n] = 0;
    return 1;
}

void ShowRunStatus(SfxStatus status, const char*) {
    Session.runStatus = status;
    Session.runStatusShown = true;
}

void FrontCommandFailed(const char* command) {
    if (Session.report) Session.report->problems.push_back(std::string("command cannot start: ") + command);
}

bool CheckProgramFile(const std::string& path, const ReadbackExpect& expect, ReadbackReport* report) {
    Session = CheckSession();
    Session.expect = &expect;
    Session.report = report;
    if (path.size() >= SFX_PATH_MAX) {
        report->problems.push_back("the path of the program file is too long to read it back: " + path);
        return false;
    }

    OpenArchive(path.c_str());
    if (Archive.status != SFX_OK) {
        report->problems.push_back("the extractor does not find the archive: " + StatusText(Archive.status));
        CloseArchive();
        return false;
    }
    if (expect.target != Archive.configTarget || expect.command != Archive.configCommand)
        report->problems.push_back("the configuration block does not read back as written");
    const Catalog& catalog = Archive.catalog;
    if (catalog.status != SFX_OK)
        report->problems.push_back("the extractor cannot read the catalogue: " + StatusText(catalog.status));
    else if (catalog.count != expect.entries)
        report->problems.push_back("the catalogue holds " + std::to_string(catalog.count) + " entries, not " +
                                   std::to_string(expect.entries));
    CloseArchive();
    if (!report->problems.empty()) return false;

    std::string scratch, error;
    if (!CreateScratchFolder(&scratch, &error)) {
        report->problems.push_back(error);
        return false;
    }
    // The extractor adds its own separator to the target folder.
    std::string target = scratch.substr(0, scratch.size() - 1);
    Session.scratchLength = target.size() + 1;
    int result = ExtractArchive(path.c_str(), target.c_str(), "");
    RemoveTree(scratch);
    if (Session.entriesDone != expect.files)
        report->problems.push_back("the extractor went through " + std::to_string(Session.entriesDone) +
                                   " files, not " + std::to_string(expect.files));
    if (result != SFX_OK && report->problems.empty() && report->lockedUnchecked == 0 &&
        report->longUnchecked == 0)
        report->problems.push_back("the extraction ended with " + StatusText(SfxStatus(result)));
    return report->problems.empty();
}
