// Files appear complete or not at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "failure.h"
#include "output/output_file.h"
#include "scratch_folder.h"

namespace orvcli {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ScratchFolderTest {
protected:
    static std::string contents(const std::string &file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(OutputFileTest, CommittedFileHasEverythingWritten) {
    {
        OutputFile out(path("a.csv"));
        out.stream() << "one\ntwo\n";
        EXPECT_FALSE(fs::exists(path("a.csv")));  // only under its temporary name so far
        out.commit();
    }
    EXPECT_EQ(contents(path("a.csv")), "one\ntwo\n");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(OutputFileTest, UncommittedFileLeavesNothingAndKeepsTheOldOne) {
    std::ofstream(path("old.csv")) << "old";
    {
        OutputFile out(path("old.csv"));
        out.stream() << "half";
    }
    EXPECT_EQ(contents(path("old.csv")), "old");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(OutputFileTest, CommitReplacesAnExistingFile) {
    std::ofstream(path("b.csv")) << "old";
    OutputFile out(path("b.csv"));
    out.stream() << "new";
    out.commit();
    EXPECT_EQ(contents(path("b.csv")), "new");
}

TEST_F(OutputFileTest, UnwritablePlacesFailAtOnce) {
    for (const std::string &bad : {path("missing/folder/c.csv"), folder_.string()}) {
        try {
            OutputFile out(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const Failure &failure) {
            EXPECT_EQ(failure.status(), ExitStatus::output);
            EXPECT_NE(std::string(failure.what()).find(bad), std::string::npos);
        }
    }
    EXPECT_EQ(entries(), 0u);
}

}  // namespace
}  // namespace orvcli
