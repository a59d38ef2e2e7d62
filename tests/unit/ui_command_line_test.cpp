// The switches of a scripted start. The parser is compiled into the Windows
// stub; it makes no Windows calls, so the host tests it from the same source.
#include <gtest/gtest.h>
#include <string>
#include "ui/command_line.cpp"

namespace {

Switches Parse(const std::string& line) {
    Switches switches;
    MemFill(&switches, 0x5A, sizeof switches);   // nothing may survive from before
    ParseCommandLine(line.c_str(), &switches);
    return switches;
}

TEST(CommandLine, QuotesGroupBlanksBackslashesAreLiteral) {
    struct Case {
        const char* line;
        const char* folder;
    };
    const Case cases[] = {
        {"setup.exe \"/D=C:\\Programme\\Mein Ziel\"", "C:\\Programme\\Mein Ziel"},
        {"setup.exe /D=\"C:\\Programme\\Mein Ziel\"", "C:\\Programme\\Mein Ziel"},
        {"setup.exe /D=C:\\Pro\"gramme\\Mein Ziel\"\\", "C:\\Programme\\Mein Ziel\\"},
        // A backslash before the closing quote ends the folder, not the quote.
        {"setup.exe /D=\"C:\\Mein Ziel\\\" /X", "C:\\Mein Ziel\\"},
        {"setup.exe /D=\\\\server\\freigabe", "\\\\server\\freigabe"},
        {"setup.exe \"/D=C:\\offen bis zum Ende", "C:\\offen bis zum Ende"},
        // The program's name may hold blanks and switch-like words.
        {"\"C:\\Neue Programme\\setup /S.exe\"\t/D=ziel", "ziel"},
        {"C:\\Programme\\setup.exe   /D=x\t ", "x"},
    };
    for (const Case& c : cases) {
        Switches s = Parse(c.line);
        EXPECT_FALSE(s.given & (SWITCH_BAD | SWITCH_SILENT)) << c.line << " refused: " << s.badArgument;
        EXPECT_STREQ(s.targetFolder, c.folder) << c.line;
    }
    EXPECT_EQ(Parse("setup.exe /D=\"C:\\Mein Ziel\\\" /X").given, SWITCH_NO_COMMAND);
    // A quote doubled inside quotes stands for itself.
    EXPECT_STREQ(Parse("x.exe \"/P=a \"\"b\"\" c\"").password, "a \"b\" c");
    EXPECT_STREQ(Parse("x.exe /P=a\\\"b\"").password, "a\\b");
}

TEST(CommandLine, EverySwitchInAnyCaseWithSlashOrDash) {
    Switches none = Parse("\"C:\\Programme\\setup.exe\"");
    EXPECT_EQ(none.given, 0);
    EXPECT_STREQ(none.targetFolder, "");
    EXPECT_STREQ(none.password, "");

    Switches s = Parse("setup.exe /s -o -x /d=C:\\Ziel -p=Geheim");
    EXPECT_EQ(s.given, SWITCH_SILENT | SWITCH_REPLACE | SWITCH_NO_COMMAND) << s.badArgument;
    EXPECT_STREQ(s.targetFolder, "C:\\Ziel");
    EXPECT_STREQ(s.password, "Geheim") << "the value keeps its letter case";

    s = Parse("setup.exe -N /W /?");
    EXPECT_EQ(s.given, SWITCH_KEEP | SWITCH_WAIT_COMMAND | SWITCH_HELP) << s.badArgument;

    // Values as long as the dialog's fields take them.
    s = Parse("setup.exe /D=" + std::string(SWITCH_FOLDER_MAX, 'd') + " /P=" +
              std::string(SWITCH_PASSWORD_MAX, 'p'));
    EXPECT_EQ(s.given, 0) << s.badArgument;
    EXPECT_EQ(strlen(s.targetFolder), SWITCH_FOLDER_MAX);
    EXPECT_EQ(strlen(s.password), SWITCH_PASSWORD_MAX);
}

TEST(CommandLine, UnknownMalformedAndContradictorySwitchesAreRefused) {
    struct Case {
        std::string line;
        const char* named;   // the argument the message names
    };
    const Case cases[] = {
        {"setup.exe /S /Q", "/Q"},
        {"setup.exe /S /SX", "/SX"},
        {"setup.exe ziel", "ziel"},
        {"setup.exe /", "/"},
        {"setup.exe \"\"", ""},
        {"setup.exe /D C:\\Ziel", "/D"},
        {"setup.exe /D=", "/D="},
        {"setup.exe /P=", "/P="},
        {"setup.exe /D:C:\\Ziel", "/D:C:\\Ziel"},
        {"setup.exe /S=1", "/S=1"},
        {"setup.exe /D=" + std::string(SWITCH_FOLDER_MAX + 1, 'd'), "/D=ddd"},
        {"setup.exe /P=" + std::string(SWITCH_PASSWORD_MAX + 1, 'p'), "/P=ppp"},
        {"setup.exe /D=" + std::string(SWITCH_FOLDER_MAX + 4000, 'd'), "/D=ddd"},
        {"setup.exe /O /S /N", "/O /N"},
        {"setup.exe -w -X", "/X /W"},
        {"setup.exe /Q /O /N", "/Q"},
    };
    for (const Case& c : cases) {
        Switches s = Parse(c.line);
        EXPECT_TRUE(s.given & SWITCH_BAD) << c.line;
        EXPECT_EQ(std::string(s.badArgument).substr(0, strlen(c.named)), c.named) << c.line;
        EXPECT_LT(strlen(s.badArgument), sizeof s.badArgument);
    }
    // A refused folder is not taken either.
    EXPECT_STREQ(Parse("setup.exe /D=" + std::string(SWITCH_FOLDER_MAX + 1, 'd')).targetFolder, "");
    EXPECT_TRUE(Parse("setup.exe /S /Q").given & SWITCH_SILENT) << "a silent start stays silent when it is refused";
}

}  // namespace
