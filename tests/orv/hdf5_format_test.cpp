// The HDF5 series file: what orv reads back of it, and the files a failed
// series must not leave. h5py and h5dump read it in orv_e2e.Hdf5Format.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "failure.h"
#include "output/hdf5_format.h"
#include "scratch_folder.h"

namespace orvcli {
namespace {

namespace fs = std::filesystem;

#ifdef ORV_CLI_HAS_HDF5

const auto kStart = std::chrono::system_clock::time_point(std::chrono::milliseconds(1714564800123));

class Hdf5FormatTest : public ScratchFolderTest {
protected:
    static SeriesSource source() {
        return {{"ORVSIM01", "SIMULATED UV-VIS Spectrometer", "UVVIS_ORV", "SIM-UV2048", "UV-1",
                 "1.2.3.4", true},
                {12500, 3, WavelengthRange{400, 700.5}}};
    }

    static Spectrum spectrum(unsigned number, std::vector<std::uint16_t> counts) {
        return {"ORVSIM01", number, kStart + std::chrono::microseconds(1500 * number),
                std::make_shared<const std::vector<double>>(
                    std::vector<double>{400.25, 401.5, 402.70001220703125}),
                std::move(counts)};
    }

    // A series written and committed; the spectra as given.
    void write(const std::string &file, const std::vector<Spectrum> &spectra,
               const MeasurementHeader *measurement = nullptr) const {
        const auto series = create_hdf5_series(file, measurement);
        series->begin({source()}, kStart);
        for (const Spectrum &each : spectra) series->write(each);
        series->end();
        series->commit();
    }
};

TEST_F(Hdf5FormatTest, TheLastSpectrumReadsBackWithItsInstrumentAndSettings) {
    const std::string file = path("series.anything");  // told apart by its signature
    write(file, {spectrum(1, {0, 65535, 812}), spectrum(2, {1, 2, 3}), spectrum(3, {7, 65534, 9})});
    const SpectrumTable table = read_spectrum_file(file, "--input");
    EXPECT_FALSE(table.mode);
    ASSERT_EQ(table.sources.size(), 1u);
    EXPECT_EQ(table.sources[0].description, "SIM-UV2048 serial UV-1 (ORVSIM01, SIMULATED)");
    EXPECT_EQ(table.sources[0].settings, "integration 12.5 ms, average 3, range 400:700.5 nm");
    ASSERT_EQ(table.spectra.size(), 1u);
    const Spectrum &last = table.spectra[0];
    EXPECT_EQ(last.number, 3u);
    EXPECT_EQ(last.counts, (std::vector<std::uint16_t>{7, 65534, 9}));
    EXPECT_EQ(*last.wavelengths_nm, *spectrum(3, {}).wavelengths_nm);
    EXPECT_EQ(format_utc(last.time), format_utc(spectrum(3, {}).time));
}

TEST_F(Hdf5FormatTest, ProcessedValuesKeepTheirModeAndNaN) {
    MeasurementHeader measurement;
    measurement.mode = orvproc::Mode::transmittance;
    measurement.darks.push_back({"ORVSIM01", "dark.h5", "2024-05-01T11:00:00.000Z", 1});
    measurement.references.push_back({"ORVSIM01", "white.csv", "2024-05-01T11:30:00.000Z", 4});
    Spectrum processed = spectrum(1, {});
    processed.values = {45.757490560675115, std::nan(""), -0.25};
    write(path("t.h5"), {processed}, &measurement);
    const SpectrumTable table = read_spectrum_file(path("t.h5"), "--input");
    EXPECT_EQ(table.mode, orvproc::Mode::transmittance);
    const std::vector<double> &values = table.spectra.at(0).values;
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0], processed.values[0]);
    EXPECT_TRUE(std::isnan(values[1]));
    EXPECT_EQ(values[2], -0.25);
    EXPECT_TRUE(table.spectra[0].counts.empty());
}

TEST_F(Hdf5FormatTest, AFailedSeriesLeavesNothing) {
    // Destroyed without commit (an exception on the way): removed.
    {
        const auto series = create_hdf5_series(path("failed.h5"), nullptr);
        series->begin({source()}, kStart);
        series->write(spectrum(1, {1, 2, 3}));
        EXPECT_TRUE(fs::exists(path("failed.h5")));
    }
    EXPECT_FALSE(fs::exists(path("failed.h5")));
    // A spectrum of another length is an output failure, not a ragged row.
    {
        const auto series = create_hdf5_series(path("ragged.h5"), nullptr);
        series->begin({source()}, kStart);
        series->write(spectrum(1, {1, 2, 3}));
        Spectrum shorter = spectrum(2, {1, 2});
        EXPECT_THROW(series->write(shorter), Failure);
    }
    EXPECT_FALSE(fs::exists(path("ragged.h5")));
    for (const std::string &unwritable : {path("missing/x.h5"), folder_.string()}) {
        try {
            create_hdf5_series(unwritable, nullptr);
            ADD_FAILURE() << unwritable;
        } catch (const Failure &failure) {
            EXPECT_EQ(failure.status(), ExitStatus::output) << failure.what();
        }
    }
    EXPECT_EQ(entries(), 0u);
}

TEST_F(Hdf5FormatTest, FilesOrvDidNotWriteAreRefusedAsInput) {
    {
        std::ofstream garbage(path("garbage.h5"), std::ios::binary);
        garbage << kHdf5Signature << std::string(300, 'x');
    }
    write(path("empty.h5"), {});  // a series interrupted before its first spectrum
    for (const char *name : {"garbage.h5", "empty.h5"}) {
        try {
            read_spectrum_file(path(name), "--dark");
            ADD_FAILURE() << name;
        } catch (const Failure &failure) {
            EXPECT_EQ(failure.status(), ExitStatus::usage);
            EXPECT_NE(std::string(failure.what()).find("not an HDF5 file orv read wrote"),
                      std::string::npos)
                << failure.what();
        }
    }
}

TEST(Hdf5Format, IsAnOutputFormatOfThisBuild) {
    EXPECT_EQ(parse_output_format("hdf5"), OutputFormat::hdf5);
}

#else

TEST(Hdf5Format, IsRefusedWithoutLibhdf5) {
    try {
        parse_output_format("hdf5");
        ADD_FAILURE();
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.status(), ExitStatus::usage);
        EXPECT_NE(std::string(failure.what()).find("not available in this build"),
                  std::string::npos);
    }
}

#endif

}  // namespace
}  // namespace orvcli
