// The CSV, TSV and JSON documents of a series, and reading the tables back.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <sstream>

#include "failure.h"
#include "output/spectrum_table_reader.h"
#include "output/spectrum_writer.h"

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
    nlohmann::json parsed;
    EXPECT_NO_THROW(parsed =
                        nlohmann::json::parse(document(OutputFormat::json, {odd}, {kSpectra[0]})));
    EXPECT_TRUE(parsed.is_object() || parsed.is_array());
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

std::string processed_document(OutputFormat format, const MeasurementHeader &measurement,
                               const std::vector<Spectrum> &spectra) {
    std::ostringstream out;
    const auto writer = make_writer(format, out, &measurement);
    writer->begin({source("ORVSIM01")}, kTime);
    for (const Spectrum &each : spectra) writer->write(each);
    writer->end();
    return out.str();
}

TEST(SpectrumFormats, ProcessedValuesReadBackInEveryFormatWithNaNWhereUndefined) {
    MeasurementHeader measurement;
    measurement.mode = orvproc::Mode::absorbance;
    measurement.darks.push_back({"ORVSIM01", "dark.csv", "2024-05-01T11:00:00.000Z", 3});
    measurement.references.push_back({"ORVSIM01", "white.json", "2024-05-01T11:30:00.000Z", 1});
    measurement.boxcar = 5;
    Spectrum processed = spectrum("ORVSIM01", 1, {400.25, 401.5, 402.75}, {});
    processed.values = {0.045757490560675115, std::nan(""), -0.25};
    processed.undefined.reference_not_above = 1;
    for (OutputFormat format : {OutputFormat::csv, OutputFormat::tsv, OutputFormat::json}) {
        const std::string text = processed_document(format, measurement, {processed});
        std::istringstream in(text);
        const SpectrumTable table = format == OutputFormat::json ? read_spectrum_json(in, "t")
                                                                 : read_spectrum_table(in, "t");
        ASSERT_EQ(table.mode, orvproc::Mode::absorbance) << text;
        ASSERT_EQ(table.spectra.size(), 1u);
        const std::vector<double> &values = table.spectra[0].values;
        ASSERT_EQ(values.size(), 3u);
        EXPECT_EQ(values[0], processed.values[0]);
        EXPECT_TRUE(std::isnan(values[1]));
        EXPECT_EQ(values[2], -0.25);
        EXPECT_TRUE(table.spectra[0].counts.empty());
        EXPECT_EQ(table.spectra[0].time, kTime);
        if (format == OutputFormat::csv) {
            EXPECT_NE(text.find("# mode: absorbance (AU)\n"), std::string::npos);
            EXPECT_NE(text.find("# dark ORVSIM01: dark.csv, taken 2024-05-01T11:00:00.000Z, 3 "
                                "spectra\n"),
                      std::string::npos);
            EXPECT_NE(text.find("# boxcar: 5 pixels"), std::string::npos);
            EXPECT_NE(text.find("# undefined ORVSIM01 1: 1 values NaN (0 saturated, 1 reference "
                                "not above dark, 0 sample not above dark)\n"),
                      std::string::npos);
            EXPECT_NE(text.find("\ninstrument,spectrum,time_utc,wavelength_nm,absorbance_au\n"),
                      std::string::npos);
        }
        if (format == OutputFormat::json) {
            const nlohmann::json json = nlohmann::json::parse(text);
            EXPECT_EQ(json["measurement"]["unit"], "AU");
            EXPECT_TRUE(json["spectra"][0]["absorbance_au"][1].is_null());
            EXPECT_EQ(json["spectra"][0]["undefined"]["reference_not_above_dark"], 1);
        }
    }
    // A column that does not match the mode's comment is refused.
    std::string text = processed_document(OutputFormat::csv, measurement, {processed});
    text.replace(text.find(",absorbance_au"), 14, ",transmittance_percent");
    std::istringstream in(text);
    EXPECT_THROW(read_spectrum_table(in, "t"), Failure);
}

TEST(SpectrumFormats, SettingsAndTimesReadBackFromTheirTexts) {
    for (const AcquisitionSettings &settings :
         {AcquisitionSettings{10000, 2, std::nullopt},
          AcquisitionSettings{250, 255, WavelengthRange{400, 700.5}},
          AcquisitionSettings{1500000, 1, std::nullopt}}) {
        const std::optional<AcquisitionSettings> back = parse_settings(describe_settings(settings));
        ASSERT_TRUE(back) << describe_settings(settings);
        EXPECT_EQ(back->integration_us, settings.integration_us);
        EXPECT_EQ(back->average, settings.average);
        EXPECT_EQ(back->range.has_value(), settings.range.has_value());
        if (settings.range) {
            EXPECT_EQ(back->range->end_nm, settings.range->end_nm);
        }
    }
    for (const char *bad :
         {"", "integration 10 ms", "integration fast, average 1", "integration 10 ms, average 0",
          "integration 10 ms, average 1, range x"})
        EXPECT_FALSE(parse_settings(bad)) << bad;
    for (const auto time : {kTime, std::chrono::system_clock::time_point(std::chrono::milliseconds(
                                       951782400999))})  // 2000-02-29T00:00:00.999Z
        EXPECT_EQ(parse_utc(format_utc(time)), time) << format_utc(time);
    for (const char *bad : {"2024-05-01 12:00:00.123Z", "2024-13-01T12:00:00.123Z", "yesterday"})
        EXPECT_FALSE(parse_utc(bad)) << bad;
}

TEST(SpectrumFormats, OutputFormatNames) {
    EXPECT_EQ(parse_output_format("tsv"), OutputFormat::tsv);
    EXPECT_THROW(parse_output_format("xml"), Failure);
}

}  // namespace
}  // namespace orvcli
