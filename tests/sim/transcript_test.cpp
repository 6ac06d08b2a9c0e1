// The transcript file: one line per D2XX call.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "sim_support.h"

using namespace simtest;

namespace {

std::vector<std::string> lines_of(const std::string &path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string hex(const Bytes &b) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t v : b) {
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}

TEST(SimTranscript, RecordsEveryCallWithItsBytes) {
    const std::string path = ::testing::TempDir() + "orvsim_transcript.txt";
    std::remove(path.c_str());
    set_env("ORVSIM_TRANSCRIPT", path.c_str());
    load(
        R"({"time_scale": 0.01, "bridges": [{"serial": "T", "instrument": {"model": "SIM-UV1024"}}]})");
    const Bytes request = read_request(0xC1, 0x10, 1);
    Bytes answer;
    {
        Port port(0, 200);
        answer = port.exchange(request);
    }
    uint8_t byte = 0;
    DWORD n = 0;
    FT_Read(nullptr, &byte, 1, &n);
    set_env("ORVSIM_TRANSCRIPT", nullptr);
    load(R"({"bridges": []})");  // stops the transcript
    FT_CreateDeviceInfoList(&n);

    const std::vector<std::string> lines = lines_of(path);
    const std::vector<std::string> expected = {
        "FT_Open status=0 index=0 dev=0",
        "FT_SetTimeouts status=0 dev=0 read=200 write=1000",
        "FT_Purge status=0 dev=0 mask=3",
        "FT_Write status=0 dev=0 req=32 done=32 data=" + hex(request),
        "FT_Read status=0 dev=0 req=28 done=28 timeout=200 data=" +
            hex(Bytes(answer.begin(), answer.begin() + 28)),
        "FT_Read status=0 dev=0 req=8 done=8 timeout=200 data=" +
            hex(Bytes(answer.begin() + 28, answer.end())),
        "FT_Close status=0 dev=0",
        "FT_Read status=1 dev=-1 req=1 done=0 timeout=0 data=",
    };
    ASSERT_EQ(lines.size(), expected.size());
    double previous = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        // "<milliseconds with 3 decimals> <rest>"
        const size_t space = lines[i].find(' ');
        ASSERT_NE(space, std::string::npos);
        const std::string stamp = lines[i].substr(0, space);
        EXPECT_EQ(stamp.size() - stamp.find('.'), 4u) << lines[i];
        const double ms = std::stod(stamp);
        EXPECT_GE(ms, previous);
        previous = ms;
        EXPECT_EQ(lines[i].substr(space + 1), expected[i]);
    }
    std::remove(path.c_str());
}

TEST(SimTranscript, RequestsTheInstrumentRefusesAreRecordedAfterTheirWrite) {
    const std::string path = ::testing::TempDir() + "orvsim_refusals.txt";
    std::remove(path.c_str());
    set_env("ORVSIM_TRANSCRIPT", path.c_str());
    load(R"({"time_scale": 0.01, "bridges": [
        {"serial": "U", "instrument": {"model": "SIM-UV1024"}},
        {"serial": "N", "instrument": {"model": "SIM-NIR256"}}]})");
    {
        Port uvvis(0, 100);
        uvvis.exchange(with_field(read_request(0xC1, 0x10, 1), 14, {0xEF}));  // FSN
        uvvis.exchange(write_request(0xC1, 0x10, {0, 1, 0, 7}));              // free byte set
        uvvis.exchange(read_request(0xC1, 0x10, 1));                          // fine
        Port nir(1, 100);
        nir.write(nir_frame({0x3F, 0x41, 0x00}));  // one byte too many
        nir.read(3);
    }
    set_env("ORVSIM_TRANSCRIPT", nullptr);
    load(R"({"bridges": []})");

    std::vector<std::string> refused;
    std::string previous;
    for (const std::string &line : lines_of(path)) {
        const std::string rest = line.substr(line.find(' ') + 1);
        if (rest.rfind("refused ", 0) == 0) {
            EXPECT_EQ(previous.rfind("FT_Write ", 0), 0u) << "follows its write: " << rest;
            refused.push_back(rest);
        }
        previous = rest;
    }
    const std::vector<std::string> expected = {
        "refused status=226 dev=0 reg=C1 addr=000010 why=FSN",
        "refused status=226 dev=0 reg=C1 addr=000010 why=reserved",
        "refused status=21 dev=1 cmd=3F41 why=length",
    };
    EXPECT_EQ(refused, expected);
    std::remove(path.c_str());
}

TEST(SimTranscript, AFileThatCannotBeWrittenIsSaidOnceOnStderr) {
    const std::string path = ::testing::TempDir() + "orvsim_no_such_folder/transcript.txt";
    set_env("ORVSIM_TRANSCRIPT", path.c_str());
    ::testing::internal::CaptureStderr();
    load(R"({"bridges": [{"serial": "A"}]})");
    load(R"({"bridges": [{"serial": "A"}]})");  // the same name again: nothing more
    const std::string err = ::testing::internal::GetCapturedStderr();
    set_env("ORVSIM_TRANSCRIPT", nullptr);
    load(R"({"bridges": []})");
    EXPECT_EQ(err, "orvsim: transcript " + path + ": cannot be opened for writing\n");
}

}  // namespace
