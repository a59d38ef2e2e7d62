// Hostile entry names: every way of reaching outside the target folder, names
// Windows cannot hold, device names, and names at the length limit.
#include "hostile_helpers.h"

namespace {

const std::string GOOD = "good.txt";
const std::string GOOD_DATA = "a harmless entry after the hostile one\n";

class HostileNames : public HostileArchiveTest {
protected:
    // One hostile entry followed by a good one: the hostile entry is refused
    // with `expected`, nothing is written for it, and the run goes on.
    void ExpectRefused(const std::string& name, SfxStatus expected, uint16_t method = 0) {
        SCOPED_TRACE("entry name: " + name);
        RemoveTargetContent();
        HostileRun run = Run(Image({Entry(name, "payload of the hostile entry", method), Entry(GOOD, GOOD_DATA)}));
        EXPECT_NOTHING_OUTSIDE(run);
        ASSERT_EQ(Front.entryStatuses.size(), 2u);
        EXPECT_EQ(Front.entryStatuses[0], expected);
        EXPECT_EQ(Front.entryStatuses[1], SFX_OK);
        EXPECT_EQ(run.result, expected) << "a run with a refused entry must not report success";
        EXPECT_EQ(TargetFiles(), std::vector<std::string>{GOOD});
        EXPECT_EQ(ReadFileBytes(TargetFile(GOOD)), GOOD_DATA);
        // A refused entry is not offered to the user for confirmation.
        EXPECT_EQ(Front.confirmCalls, 1);
    }

    void ExpectExtractedAs(const std::string& name, const std::string& rel) {
        SCOPED_TRACE("entry name: " + name);
        const std::string data = "content of " + name;
        RemoveTargetContent();
        HostileRun run = Run(Image({Entry(name, data)}));
        EXPECT_NOTHING_OUTSIDE(run);
        EXPECT_EQ(run.result, SFX_OK);
        EXPECT_EQ(TargetFiles(), std::vector<std::string>{rel});
        if (TargetHas(rel)) {
            EXPECT_EQ(ReadFileBytes(TargetFile(rel)), data);
        }
    }

    void RemoveTargetContent() {
        std::vector<std::string> tree = ListTree(target);
        for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
            std::string p = TargetFile(*it);
            if (!p.empty() && p.back() == '/') rmdir(p.c_str()); else unlink(p.c_str());
        }
    }
};

TEST_F(HostileNames, ParentFolderFormsAreRefused) {
    for (const char* name : {"../evil.txt", "..\\evil.txt", "a/../../evil.txt", "a\\..\\..\\evil.txt",
                             "../../../../../../tmp/evil.txt", "a/b/../../../evil.txt", "..", "sub/../evil.txt",
                             "/../evil.txt", "\\..\\evil.txt", ".. /evil.txt", "... /evil.txt", "evil.txt/.."}) {
        ExpectRefused(name, SFX_ERR_BAD_DATA);
        ExpectRefused(name, SFX_ERR_BAD_DATA, 8);
    }
}

TEST_F(HostileNames, DriveAndStreamFormsAreRefused) {
    for (const char* name : {"C:\\evil.txt", "C:/evil.txt", "C:evil.txt", "c:..\\evil.txt", "a:stream",
                             "evil.txt:stream", "evil.txt::$DATA", "dir/C:evil.txt"})
        ExpectRefused(name, SFX_ERR_BAD_DATA);
}

TEST_F(HostileNames, RootAndServerFormsStayInsideTheTarget) {
    ExpectExtractedAs("/abs/evil.txt", "abs/evil.txt");
    ExpectExtractedAs("\\abs.txt", "abs.txt");
    ExpectExtractedAs("\\\\server\\share\\evil.txt", "server/share/evil.txt");
    ExpectExtractedAs("//server/share/evil.txt", "server/share/evil.txt");
    ExpectExtractedAs("///tmp/evil.txt", "tmp/evil.txt");
}

TEST_F(HostileNames, DeviceNamesAreRefusedInAnyCaseAndComponent) {
    for (const char* name : {"CON", "con.txt", "PRN", "aux.log", "NUL", "nul.tar.gz", "COM1", "com9.txt",
                             "LPT1", "lpt9.dat", "dir/nul.txt", "CON/x.txt", "Aux", "NUL "})
        ExpectRefused(name, SFX_ERR_BAD_DATA);
}

TEST_F(HostileNames, NamesThatOnlyResembleDevicesAreExtracted) {
    ExpectExtractedAs("CONSOLE.txt", "CONSOLE.txt");
    ExpectExtractedAs("LPT10.txt", "LPT10.txt");
    ExpectExtractedAs("auxiliary/com1x.txt", "auxiliary/com1x.txt");
    ExpectExtractedAs("nul_.txt", "nul_.txt");
}

TEST_F(HostileNames, CharactersWindowsCannotHoldAreRefused) {
    for (const char* name : {"a<b.txt", "a>b.txt", "a\"b.txt", "a|b.txt", "a?b.txt", "a*b.txt", "a\x01" "b.txt",
                             "tab\there.txt", "line\nbreak.txt", "\x1f.txt"})
        ExpectRefused(name, SFX_ERR_BAD_DATA);
}

// Names are checked as Unicode and every file call is wide, so look-alikes
// of dots and slashes are ordinary characters that stay inside the target;
// the real ones are refused however long the climb, and so are device and
// long-path prefixes inside a name.
TEST_F(HostileNames, LookAlikesLongClimbsAndPathPrefixesInsideNames) {
    const std::string wideDots = "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\x8F" "evil.txt";   // ．．／evil.txt
    ExpectExtractedAs(wideDots, wideDots);
    ExpectExtractedAs("\xE2\x80\xA4\xE2\x80\xA4\xE2\x88\x95x.txt", "\xE2\x80\xA4\xE2\x80\xA4\xE2\x88\x95x.txt");
    ExpectExtractedAs("\\\\.\\pipe\\x.txt", "pipe/x.txt");
    std::string climb;
    for (int i = 0; i < 3000; ++i) climb += "../";
    ExpectRefused(climb + "evil.txt", SFX_ERR_BAD_DATA);
    ExpectRefused("a/" + climb + "evil.txt", SFX_ERR_BAD_DATA);
    for (const char* name : {"\\\\?\\C:\\evil.txt", "//?/C:/evil.txt", "\\\\?\\UNC\\server\\share\\evil.txt",
                             "\\\\.\\C:\\evil.txt", "a\\\\?\\b.txt", "COM\xC2\xB9.txt", "lpt\xC2\xB3"})
        ExpectRefused(name, SFX_ERR_BAD_DATA);
}

// The target folder given here has no backslash; the engine adds one. Paths
// of 255 characters fit, 256 do not and are never cut into another name.
// A component of 255 units is written, one of 256 refused: never cut into
// another name, whatever its script.
TEST_F(HostileNames, ComponentOf255UnitsIsWrittenAnd256IsRefused) {
    const std::string fits = std::string(251, 'n') + ".txt";
    ExpectExtractedAs(fits, fits);
    ExpectRefused(std::string(252, 'n') + ".txt", SFX_ERR_CREATE);
    ExpectRefused(std::string(300, 'x'), SFX_ERR_CREATE);
    std::string greek;
    for (int i = 0; i < 80; ++i) greek += "\xCE\xA9";   // 2 bytes, one unit: 160 bytes fit
    ExpectExtractedAs("d/" + greek + ".txt", "d/" + greek + ".txt");
}

}  // namespace
