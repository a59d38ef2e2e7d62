// Shared set-up of the hostile-archive tests: a program file and a target
// folder two levels below it in a fresh temporary folder, so that an escape
// by "..\..\" still lands where the test looks, and a run that records what
// changed outside the target folder.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <algorithm>
#include <string>
#include <vector>
#include "engine/extract_run.h"
#include "support/test_front_end.h"
#include "support/zip_writer.h"

struct HostileRun {
    int result = -1;
    std::vector<std::string> outsideBefore;   // tree outside the target before the run
    std::vector<std::string> outsideAfter;
    uint64_t mostReported = 0;                // largest byte count ProgressFn was told
};

class HostileArchiveTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string program, target;

    void SetUp() override {
        ResetTestFrontEnd();
        program = dir.File("prog.exe");
        mkdir(dir.File("a").c_str(), 0700);
        mkdir(dir.File("a/b").c_str(), 0700);
        target = dir.File("a/b/target");
        mkdir(target.c_str(), 0700);
    }

    static std::string Image(const std::vector<ZipEntrySpec>& entries, ZipImageOptions options = {}) {
        if (options.prefix.empty()) options.prefix = MakeStubPrefix("", "", 64);
        return BuildZipImage(entries, options);
    }

    static ZipEntrySpec Entry(const std::string& name, const std::string& data, uint16_t method = 0) {
        ZipEntrySpec e;
        e.name = name;
        e.data = data;
        e.method = method;
        // Names beyond ASCII are UTF-8, marked as the writers of today mark them.
        for (unsigned char c : name)
            if (c >= 0x80) e.flags = 0x0800;
        return e;
    }

    std::vector<std::string> Outside() const {
        std::vector<std::string> all = ListTree(dir.path), out;
        for (const std::string& p : all)
            if (p.compare(0, 11, "a/b/target/") != 0) out.push_back(p);
        return out;
    }

    // Files (not folders) below the target folder.
    std::vector<std::string> TargetFiles() const {
        std::vector<std::string> out;
        for (const std::string& p : ListTree(target))
            if (p.empty() || p.back() != '/') out.push_back(p);
        return out;
    }

    std::string TargetFile(const std::string& rel) const { return target + "/" + rel; }

    bool TargetHas(const std::string& rel) const {
        struct stat st;
        return lstat(TargetFile(rel).c_str(), &st) == 0;
    }

    HostileRun Run(const std::string& image) {
        WriteFileBytes(program, image);
        ResetTestFrontEnd();
        HostileRun run;
        run.outsideBefore = Outside();
        run.result = ExtractArchive(program.c_str(), target.c_str(), "");
        run.outsideAfter = Outside();
        for (uint64_t done : Front.progressDone) run.mostReported = std::max(run.mostReported, done);
        return run;
    }
};

#define EXPECT_NOTHING_OUTSIDE(run) EXPECT_EQ((run).outsideBefore, (run).outsideAfter) << "written outside the target"
