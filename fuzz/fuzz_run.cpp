// The whole extraction run over an arbitrary program file.
//
// Layout of the scratch folder (cleaned for every input):
//   <root>/prog.exe          the input, as the program file
//   <root>/a/b/target/       the target folder
// Two levels between the program file and the target let "..\..\x" forms
// land inside the watched tree, so an escape is seen, not just lost.
//
// Invariants (abort() on a violation):
//   - nothing outside the target folder is created, changed or removed;
//   - after each entry, no file other than the entry's own target changed
//     (a temporary file left behind counts as a change), and an entry that
//     failed left its target as it was before, except that SFX_ERR_CRC may
//     keep the written data when nothing existed there;
//   - a run in which an entry failed does not end with SFX_OK;
//   - no file descriptor stays open after the run.
// The run always ends: libFuzzer's -timeout catches a hang.
#include "fuzz/fuzz_front_end.h"
#include "fuzz/fuzz_util.h"
#include "engine/extract_run.h"
#include "support/host_text.h"
#include <vector>

using namespace fuzzutil;

namespace {

std::string root, programPath, targetPath;
Tree targetBefore;              // the target tree after the previous entry
bool anyEntryFailed = false;
int entriesChecked = 0;
const int MAX_CHECKED_ENTRIES = 256;   // snapshots cost; later entries are checked by the final tree check

// The target path as the host's file system names it: the host back-end
// turns backslashes into slashes and the ANSI bytes into UTF-8.
std::string RelativeToTarget(const char* path) {
    std::string p = HostPath(path ? path : "");
    std::string prefix = targetPath + "/";
    if (p.compare(0, prefix.size(), prefix) != 0) return "";
    return p.substr(prefix.size());
}

void CheckEntry(const char* entryTarget, SfxStatus status) {
    if (status != SFX_OK) anyEntryFailed = true;
    if (++entriesChecked > MAX_CHECKED_ENTRIES) return;
    Tree after = Snapshot(targetPath);
    std::string own = RelativeToTarget(entryTarget);
    for (auto& kv : after) {
        if (kv.second == "d") continue;   // folders made on the way stay
        auto it = targetBefore.find(kv.first);
        bool changed = it == targetBefore.end() || it->second != kv.second;
        if (!changed) continue;
        if (kv.first == own) {
            bool createdOnCrc = status == SFX_ERR_CRC && it == targetBefore.end();
            FUZZ_CHECK(status == SFX_OK || createdOnCrc,
                       "entry %s failed with %u but its target changed", entryTarget, unsigned(status));
        } else {
            FUZZ_CHECK(false, "entry %s (status %u) changed another file:\n%s", entryTarget,
                       unsigned(status), Describe(targetBefore, after).c_str());
        }
    }
    for (auto& kv : targetBefore)
        FUZZ_CHECK(after.count(kv.first), "entry %s (status %u) removed %s", entryTarget,
                   unsigned(status), kv.first.c_str());
    targetBefore = after;
}

void SetUp() {
    root = ScratchRoot("run");
    programPath = root + "/prog.exe";
    targetPath = root + "/a/b/target";
    mkdir((root + "/a").c_str(), 0700);
    mkdir((root + "/a/b").c_str(), 0700);
    LimitFileSize(8u << 20);
    FuzzHooks.entryDone = CheckEntry;
    FuzzHooks.writeBudget = 64u << 20;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (root.empty()) SetUp();
    RemoveTree(targetPath);
    mkdir(targetPath.c_str(), 0700);
    WriteWhole(programPath, data, size);

    Tree outsideBefore = Snapshot(root, "a/b/target");
    targetBefore = Snapshot(targetPath);
    anyEntryFailed = false;
    entriesChecked = 0;
    ResetFuzzFrontEnd();
    int descriptors = CountOpenDescriptors();

    // No command: the configured one is never started from fuzz input.
    int result = ExtractArchive(programPath.c_str(), targetPath.c_str(), "");

    Tree outsideAfter = Snapshot(root, "a/b/target");
    FUZZ_CHECK(outsideBefore == outsideAfter, "written outside the target folder:\n%s",
               Describe(outsideBefore, outsideAfter).c_str());
    FUZZ_CHECK(!(anyEntryFailed && result == SFX_OK), "an entry failed but the run reported success");
    FUZZ_CHECK(result != SFX_RUN_STARTED, "a command was started although none was given");
    FUZZ_CHECK(CountOpenDescriptors() == descriptors, "a file stayed open after the run (%d before, %d after)",
               descriptors, CountOpenDescriptors());
    return 0;
}
