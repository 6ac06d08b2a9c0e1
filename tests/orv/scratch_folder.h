// A test's own empty folder in the temporary folder, removed after the test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace orvcli {

class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  (std::string("orv-test-") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
                   "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string path(const std::string &name) const { return (folder_ / name).string(); }
    std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(folder_), {}));
    }

    std::filesystem::path folder_;
};

}  // namespace orvcli
