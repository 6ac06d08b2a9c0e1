#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fake_orv.h"
#include "paths.h"
#include "sdk.h"

using namespace velmar;
namespace fs = std::filesystem;

namespace {

const std::string kLib = platform::kSdkLibraryName;

// Joins with this system's separator, as the program does.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts)
        out = out.empty() ? std::string(part) : join_path(out, part);
    return out;
}

#ifdef _WIN32
const std::string kExe = "C:\\Apps\\Velmar\\speed.exe";
const std::string kExeDir = "C:\\Apps\\Velmar";
const std::string kSourceDir = "C:\\src\\tools\\bench";
const std::string kSourceParent = "C:\\src\\tools";
const std::string kRoot = "C:\\";
#else
const std::string kExe = "/opt/velmar/speed";
const std::string kExeDir = "/opt/velmar";
const std::string kSourceDir = "/src/tools/bench";
const std::string kSourceParent = "/src/tools";
const std::string kRoot = "/";
#endif

}  // namespace

TEST(Paths, JoinAddsOneSeparatorOnly) {
    const std::string sep(1, platform::kPathSeparator);
    EXPECT_EQ(join_path("a", "b"), "a" + sep + "b");
    EXPECT_EQ(join_path("a" + sep, "b"), "a" + sep + "b");
    EXPECT_EQ(join_path(kRoot, "b"), kRoot + "b");
}

TEST(Paths, ParentDirectory) {
    EXPECT_EQ(parent_directory(kExe), kExeDir);
    EXPECT_EQ(parent_directory(kExeDir + platform::kPathSeparator), parent_directory(kExeDir));
    EXPECT_EQ(parent_directory(kRoot + "x"), kRoot);
    EXPECT_EQ(parent_directory(kRoot), std::nullopt);
    EXPECT_EQ(parent_directory(""), std::nullopt);
    EXPECT_EQ(parent_directory("relative"), std::nullopt);
}

TEST(LibraryCandidates, ExecutableDirectoryFirstThenSourceTree) {
    const std::vector<std::string> expected{
        joined({kExeDir, "bin", "velmar", kLib}),
        joined({kExeDir, "resources", "bin", "velmar", kLib}),
        joined({kExeDir, kLib}),
        joined({kSourceParent, "sdk", "VelmarDirect_User_SDK", kLib}),
        joined({kSourceDir, "resources", "bin", "velmar", kLib}),
    };
    EXPECT_EQ(library_candidates(kExe, kSourceDir), expected);
}

TEST(LibraryCandidates, UnknownExecutablePathStartsAtTheSourceTree) {
    auto candidates = library_candidates(std::nullopt, kSourceDir);
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates[0], joined({kSourceParent, "sdk", "VelmarDirect_User_SDK", kLib}));
}

TEST(LibraryCandidates, SourceDirectoryWithoutParentUsesTheCurrentDirectory) {
    auto candidates = library_candidates(std::nullopt, kRoot);
    EXPECT_EQ(candidates[0], joined({".", "sdk", "VelmarDirect_User_SDK", kLib}));
    EXPECT_EQ(candidates[1], joined({kRoot, "resources", "bin", "velmar", kLib}));
}

class LibraryChoice : public testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("velmar_sdk_test_" +
                 std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string file(const fs::path &relative) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << "not a library";
        return (root_ / relative).string();
    }
    std::vector<std::string> candidates() {
        return library_candidates((root_ / "speed").string(), "/nonexistent/x");
    }

    fs::path root_;
};

TEST_F(LibraryChoice, SubdirectoryCopyWinsOverTheOneBesideTheExecutable) {
    file(kLib);
    const std::string nested = file(fs::path("bin") / "velmar" / kLib);
    EXPECT_EQ(first_present(candidates()), nested);
}

TEST_F(LibraryChoice, NothingPresentFailsWithoutLoading) {
    EXPECT_EQ(first_present(candidates()), std::nullopt);
    auto sdk = VelmarSdk::load_from(candidates());
    ASSERT_FALSE(sdk);
    EXPECT_EQ(sdk.error(), SdkError::SdkInternalError);
}

TEST_F(LibraryChoice, ADirectoryIsChosenAndItsLoadFailureEndsTheSearch) {
    fs::create_directories(root_ / "bin" / "velmar" / kLib);
    file(kLib);  // a later candidate that would be present
    EXPECT_EQ(first_present(candidates()), (root_ / "bin" / "velmar" / kLib).string());
    auto sdk = VelmarSdk::load_from(candidates());
    ASSERT_FALSE(sdk);
    EXPECT_EQ(sdk.error(), SdkError::SdkInternalError);
}

TEST(Resolve, NamesAreTerminatedOnceAndInnerNulsRefused) {
    fake::Library library;
    EXPECT_TRUE(library.resolve("orv_is_open"));
    EXPECT_TRUE(library.resolve(std::string_view("orv_is_open\0", 12)));
    EXPECT_FALSE(library.resolve(std::string_view("orv_is\0open", 11)));
    EXPECT_FALSE(library.resolve(std::string_view("orv_is_open\0\0", 13)));
    EXPECT_EQ(library.looked_up, (std::vector<std::string>{"orv_is_open", "orv_is_open"}));
    EXPECT_FALSE(library.resolve("orv_missing"));
}
