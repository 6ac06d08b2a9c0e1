// Runs a callable and returns what it wrote to stdout. Works on Linux and on
// Windows (also under wine): stdout is flushed before and after, so output
// buffered by the C runtime lands in the capture and nowhere else. On Windows
// the capture is read back in text mode, so line ends come back as "\n".
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

template <typename F>
std::string capture_stdout(F &&write) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    std::forward<F>(write)();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
