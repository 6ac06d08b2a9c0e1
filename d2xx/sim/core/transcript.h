// The transcript: when ORVSIM_TRANSCRIPT names a file, one line per D2XX call
// is appended to it (format in docs/simulator.md).
#pragma once

#include <cstdio>
#include <string>

namespace orvsim {

class Transcript {
public:
    Transcript() = default;
    Transcript(const Transcript &) = delete;
    Transcript &operator=(const Transcript &) = delete;
    ~Transcript() { close(); }

    // Follows the environment variable: opens its file (append) or stops
    // writing when it is unset.
    void open_from_environment();
    void close();
    bool active() const { return file_ != nullptr; }
    // Writes "<ms> <call> status=<n> <fields>" as one line.
    void line(const char *call, unsigned status, const std::string &fields);

private:
    std::FILE *file_ = nullptr;
    std::string path_;
};

}  // namespace orvsim
