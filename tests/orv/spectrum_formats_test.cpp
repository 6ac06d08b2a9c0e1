// The CSV, TSV and JSON documents of a series, and reading the tables back.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#include "failure.h"
#include "spectrum_table_reader.h"
#include "spectrum_writer.h"

namespace orvcli {
namespace {

const auto kTime = std::chrono::system_clock::time_point(std::chrono::milliseconds(1714564800123));

SeriesSource source(const std::string &chip) {
    return {
        {chip, "SIMULATED UV-VIS Spectrometer", "UVVIS_ORV", "SIM-UV2048", "UV-1", "1.2.3.4", true},
        {10000, 2, WavelengthRange{400, 700.5}}};
}

Spectrum spectrum(const std::string &chip, unsigned number, std::vector<double> wavelengths,
                  std::vector<std::uint16_t> counts) {
    return {chip, number, kTime,
            std::make_shared<const std::vector<double>>(std::move(wavelengths)), std::move(counts)};
}

std::string document(OutputFormat format, const std::vector<SeriesSource> &sources,
                     const std::vector<Spectrum> &spectra) {
    std::ostringstream out;
    const auto writer = make_writer(format, out);
    writer->begin(sources, kTime);
    for (const Spectrum &each : spectra) writer->write(each);
    writer->end();
    return out.str();
}

const std::vector<Spectrum> kSpectra{
    spectrum("ORVSIM01", 1, {400.25, 401.5, 312.70001220703125}, {0, 65535, 812}),
    spectrum("ODD,\"CHIP\"", 1, {900, 901}, {7, 8}),
    spectrum("ORVSIM01", 2, {400.25, 401.5, 312.70001220703125}, {1, 2, 3})};

TEST(SpectrumFormats, TablesReadBackExactlyInBothDelimiters) {
    for (OutputFormat format : {OutputFormat::csv, OutputFormat::tsv}) {
        std::istringstream in(
            document(format, {source("ORVSIM01"), source("ODD,\"CHIP\"")}, kSpectra));
        const SpectrumTable table = read_spectrum_table(in, "t");
        ASSERT_EQ(table.spectra.size(), kSpectra.size());
        for (std::size_t i = 0; i < kSpectra.size(); ++i) {
            EXPECT_EQ(table.spectra[i].instrument, kSpectra[i].instrument);
            EXPECT_EQ(table.spectra[i].number, kSpectra[i].number);
            EXPECT_EQ(*table.spectra[i].wavelengths_nm, *kSpectra[i].wavelengths_nm);
            EXPECT_EQ(table.spectra[i].counts, kSpectra[i].counts);
        }
        ASSERT_EQ(table.sources.size(), 2u);
        EXPECT_EQ(table.sources[0].description, "SIM-UV2048 serial UV-1 (ORVSIM01, SIMULATED)");
        EXPECT_EQ(table.sources[0].settings, "integration 10 ms, average 2, range 400:700.5 nm");
    }
}

TEST(SpectrumFormats, CsvHeaderNamesInstrumentSettingsAndTime) {
    const std::string text = document(OutputFormat::csv, {source("ORVSIM01")}, {kSpectra[0]});
    EXPECT_NE(text.find("started 2024-05-01T12:00:00.123Z"), std::string::npos) << text;
    EXPECT_NE(text.find("# instrument ORVSIM01: SIM-UV2048 serial UV-1 (ORVSIM01, SIMULATED)"),
              std::string::npos);
    EXPECT_NE(text.find("\ninstrument,spectrum,time_utc,wavelength_nm,counts\n"
                        "ORVSIM01,1,2024-05-01T12:00:00.123Z,400.25,0\n"),
              std::string::npos)
        << text;
}

TEST(SpectrumFormats, JsonIsOneDocumentWithEverySpectrum) {
    for (const auto &spectra : {std::vector<Spectrum>{}, kSpectra}) {
        const nlohmann::json json = nlohmann::json::parse(
            document(OutputFormat::json, {source("ORVSIM01"), source("ODD,\"CHIP\"")}, spectra));
        EXPECT_EQ(json["instruments"][0]["chip_serial"], "ORVSIM01");
        EXPECT_EQ(json["instruments"][0]["simulated"], true);
        EXPECT_EQ(json["instruments"][0]["settings"]["integration_us"], 10000);
        EXPECT_EQ(json["instruments"][0]["settings"]["range_nm"][1], 700.5);
        ASSERT_EQ(json["spectra"].size(), spectra.size());
        for (std::size_t i = 0; i < spectra.size(); ++i) {
            EXPECT_EQ(json["spectra"][i]["instrument"], spectra[i].instrument);
            EXPECT_EQ(json["spectra"][i]["wavelength_nm"].get<std::vector<double>>(),
                      *spectra[i].wavelengths_nm);
            EXPECT_EQ(json["spectra"][i]["counts"].get<std::vector<std::uint16_t>>(),
                      spectra[i].counts);
        }
    }
}

TEST(SpectrumFormats, JsonSurvivesTextsThatAreNotUtf8) {
    SeriesSource odd = source("ORVSIM01");
    odd.identity.description = "bad \xFF byte";
    EXPECT_NO_THROW(EXPECT_FALSE(
        nlohmann::json::parse(document(OutputFormat::json, {odd}, {kSpectra[0]})).is_discarded()));
}

TEST(SpectrumFormats, ReaderRefusesWhatOrvReadDoesNotWrite) {
    const std::string header = "instrument,spectrum,time_utc,wavelength_nm,counts\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "no table"},
        {header, "no rows"},
        {"wavelength,counts\n400,1\n", "header row"},
        {header + "A,1,t,400,65536\n", "line 2: counts '65536'"},
        {header + "A,1,t,400,-1\n", "counts '-1'"},
        {header + "A,x,t,400,1\n", "spectrum 'x'"},
        {header + "A,1,t,inf,1\n", "wavelength 'inf'"},
        {header + "A,1,t,400\n", "4 fields"},
        {header + "\"A,1,t,400,1\n", "fields"},
    };
    for (const auto &[text, why] : cases) {
        std::istringstream in(text);
        try {
            read_spectrum_table(in, "in.csv");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Failure &failure) {
            EXPECT_EQ(failure.status(), ExitStatus::usage);
            EXPECT_NE(std::string(failure.what()).find(why), std::string::npos) << failure.what();
        }
    }
}

TEST(SpectrumFormats, OutputFormatNames) {
    EXPECT_EQ(parse_output_format("tsv"), OutputFormat::tsv);
    EXPECT_THROW(parse_output_format("xml"), Failure);
}

}  // namespace
}  // namespace orvcli
