// AES-encrypted entries of a 7-Zip archive through the whole run: the
// password verifier drives the prompt as the traditional check byte does (a
// wrong answer asks again, an empty one at once again, the run's password is
// tried first for the next entry, a cancel refuses the entry and the run goes
// on), and what is extracted is exactly what was packed.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "engine_test_util.h"

namespace {

std::vector<std::string> Answers;
size_t NextAnswer;

// Answers from the list in order; a cancel once it is used up.
int ScriptedPassword(char* password, const char*) {
    if (NextAnswer >= Answers.size()) return 0;
    strcpy(password, Answers[NextAnswer++].c_str());
    return 1;
}

bool Shell(const std::string& command) { return system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0; }

class AesRunTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string out, program;
    std::string a = Pattern(70000, 1), b = Pattern(5, 2), c = Pattern(200000, 3);

    void SetUp() override {
        ResetTestFrontEnd();
        out = dir.File("out");
        program = dir.File("prog.exe");
        // a and b under one password, c (added later) under another.
        WriteFileBytes(dir.File("a.bin"), a);
        WriteFileBytes(dir.File("b.bin"), b);
        WriteFileBytes(dir.File("c.bin"), c);
        std::string zip = dir.File("aes.zip");
        ASSERT_TRUE(Shell("cd " + dir.path + " && 7z a -tzip -mem=AES256 -psecret aes.zip a.bin b.bin && "
                          "7z a -tzip -mem=AES128 -mx=0 -pother aes.zip c.bin"))
            << "7z (p7zip-full) makes the AES archive";
        WriteFileBytes(program, MakeStubPrefix() + ReadFileBytes(zip));
        ASSERT_TRUE(Shell("zip -A " + program)) << "zip -A moves the offsets behind the prefix";
        Front.password = ScriptedPassword;
        NextAnswer = 0;
    }

    int Run() { return ExtractArchive(program.c_str(), out.c_str(), ""); }
};

TEST_F(AesRunTest, VerifierDrivesThePromptLikeTheCheckByte) {
    Answers = {"falsch", "secret", "", "other"};
    EXPECT_EQ(Run(), SFX_OK);
    // a: wrong, right; b: the run's password; c: it fails, an empty answer
    // is asked again at once, the right one.
    EXPECT_EQ(Front.passwordCalls, 4);
    EXPECT_EQ(ReadFileBytes(out + "/a.bin"), a);
    EXPECT_EQ(ReadFileBytes(out + "/b.bin"), b);
    EXPECT_EQ(ReadFileBytes(out + "/c.bin"), c);
}

TEST_F(AesRunTest, CancelRefusesTheEntryAndTheRunGoesOn) {
    Answers = {"secret"};
    EXPECT_EQ(Run(), SFX_ERR_PASSWORD);
    ASSERT_EQ(Front.entryStatuses.size(), 3u);
    EXPECT_EQ(Front.entryStatuses[0], SFX_OK);
    EXPECT_EQ(Front.entryStatuses[1], SFX_OK);
    EXPECT_EQ(Front.entryStatuses[2], SFX_ERR_PASSWORD);
    EXPECT_EQ(ReadFileBytes(out + "/b.bin"), b);
    EXPECT_FALSE(Exists(out + "/c.bin"));
}

}  // namespace
