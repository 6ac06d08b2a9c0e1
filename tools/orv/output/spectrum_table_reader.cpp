#include "output/spectrum_table_reader.h"

#include <fmt/format.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <map>
#include <memory>

#include "failure.h"
#include "output/output_file.h"
#include "output/spectrum_writer.h"

namespace orvcli {
namespace {

template <class T>
bool parse_number(const std::string &text, T &value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "# instrument ORVSIM01: text" gives ("instrument", "ORVSIM01", "text").
bool comment_entry(const std::string &line, const std::string &key, std::string &chip,
                   std::string &text) {
    const std::string prefix = "# " + key + " ";
    if (line.rfind(prefix, 0) != 0) return false;
    const std::size_t colon = line.find(": ", prefix.size());
    if (colon == std::string::npos) return false;
    chip = line.substr(prefix.size(), colon - prefix.size());
    text = line.substr(colon + 2);
    return true;
}

}  // namespace

bool split_table_line(const std::string &line, char delimiter, std::vector<std::string> &fields) {
    fields.assign(1, std::string());
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"')
                fields.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += '"', ++i;
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == delimiter) {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return !quoted;
}

SpectrumTable read_spectrum_table(std::istream &in, const std::string &name) {
    SpectrumTable table;
    std::map<std::string, std::size_t> source_index;
    const auto source = [&](const std::string &chip) -> PlotSource & {
        const auto [it, added] = source_index.emplace(chip, table.sources.size());
        if (added) table.sources.push_back({chip, chip, ""});
        return table.sources[it->second];
    };
    std::map<std::pair<std::string, unsigned>, std::size_t> spectrum_index;

    std::string line;
    std::size_t line_number = 0;
    char delimiter = 0;
    std::vector<std::string> fields;
    const auto bad = [&](const std::string &why) {
        throw Failure(ExitStatus::usage, fmt::format("{} line {}: {} (not a table orv read wrote)",
                                                     name, line_number, why));
    };
    // Wavelengths of each spectrum, collected before they are shared.
    std::vector<std::vector<double>> wavelengths;
    while (std::getline(in, line)) {
        ++line_number;
        std::string chip, text;
        if (comment_entry(line, "instrument", chip, text)) source(chip).description = text;
        if (comment_entry(line, "settings", chip, text)) source(chip).settings = text;
        if (line.rfind(kModeComment, 0) == 0) {
            const std::string rest = line.substr(kModeComment.size());
            table.mode = orvproc::mode_named(rest.substr(0, rest.find(' ')));
            if (!table.mode) bad(fmt::format("'{}' is not a measurement mode", rest));
        }
        if (line.empty() || line[0] == '#' || line == "\r") continue;
        if (delimiter == 0) {
            delimiter = line.find('\t') != std::string::npos ? '\t' : ',';
            split_table_line(line, delimiter, fields);
            const std::size_t last = std::size(kTableColumns) - 1;
            if (fields.size() != std::size(kTableColumns) ||
                !std::equal(fields.begin(), fields.begin() + last, std::begin(kTableColumns)))
                bad("the header row is not instrument, spectrum, time_utc, wavelength_nm, counts");
            // A processed table names its mode in a comment and in its last column.
            const std::optional<orvproc::Mode> column = orvproc::mode_of_column(fields[last]);
            if (!column || (table.mode && *table.mode != *column) ||
                (!table.mode && *column != orvproc::Mode::counts))
                bad(fmt::format("the last column '{}' does not match the mode", fields[last]));
            continue;
        }
        if (!split_table_line(line, delimiter, fields) || fields.size() != std::size(kTableColumns))
            bad(fmt::format("{} fields instead of {}", fields.size(), std::size(kTableColumns)));
        unsigned number = 0;
        double wavelength = 0;
        unsigned counts = 0;
        double value = 0;
        if (!parse_number(fields[1], number))
            bad(fmt::format("spectrum '{}' is not a number", fields[1]));
        if (!parse_number(fields[3], wavelength) || !std::isfinite(wavelength))
            bad(fmt::format("wavelength '{}' is not a number", fields[3]));
        if (table.mode) {
            if (!parse_number(fields[4], value) || std::isinf(value))
                bad(fmt::format("value '{}' is not a number or nan", fields[4]));
        } else if (!parse_number(fields[4], counts) || counts > 65535) {
            bad(fmt::format("counts '{}' is not a number from 0 to 65535", fields[4]));
        }
        const std::optional<std::chrono::system_clock::time_point> time = parse_utc(fields[2]);
        if (!time) bad(fmt::format("time '{}' is not a UTC time orv writes", fields[2]));
        const auto key = std::make_pair(fields[0], number);
        const auto [it, added] = spectrum_index.emplace(key, table.spectra.size());
        if (added) {
            source(fields[0]);
            table.spectra.push_back({fields[0], number, *time, nullptr, {}});
            wavelengths.emplace_back();
        }
        wavelengths[it->second].push_back(wavelength);
        Spectrum &spectrum = table.spectra[it->second];
        if (table.mode)
            spectrum.values.push_back(value);
        else
            spectrum.counts.push_back(static_cast<std::uint16_t>(counts));
    }
    if (in.bad()) bad("read failed");
    if (delimiter == 0) bad("no table");
    if (table.spectra.empty()) bad("the table has no rows");
    for (std::size_t i = 0; i < table.spectra.size(); ++i)
        table.spectra[i].wavelengths_nm =
            std::make_shared<const std::vector<double>>(std::move(wavelengths[i]));
    return table;
}

SpectrumTable read_spectrum_json(std::istream &in, const std::string &name) {
    SpectrumTable table;
    const auto bad = [&](const std::string &why) {
        throw Failure(ExitStatus::usage,
                      fmt::format("{}: {} (not a JSON document orv read wrote)", name, why));
    };
    try {
        const nlohmann::json document = nlohmann::json::parse(in);
        std::string column = "counts";
        if (document.contains("measurement")) {
            const std::string mode = document.at("measurement").at("mode").get<std::string>();
            table.mode = orvproc::mode_named(mode);
            if (!table.mode) bad(fmt::format("'{}' is not a measurement mode", mode));
            column = orvproc::mode_info(*table.mode).column;
        }
        for (const nlohmann::json &instrument : document.at("instruments")) {
            SeriesSource source;
            InstrumentIdentity &identity = source.identity;
            identity.chip_serial = instrument.at("chip_serial").get<std::string>();
            identity.description = instrument.at("description").get<std::string>();
            identity.protocol = instrument.at("protocol").get<std::string>();
            identity.model = instrument.at("model").get<std::string>();
            identity.serial = instrument.at("serial").get<std::string>();
            identity.hardware_version = instrument.at("hardware_version").get<std::string>();
            identity.simulated = instrument.at("simulated").get<bool>();
            const nlohmann::json &settings = instrument.at("settings");
            source.settings.integration_us = settings.at("integration_us").get<std::uint32_t>();
            source.settings.average = settings.at("average").get<unsigned>();
            if (!settings.at("range_nm").is_null())
                source.settings.range =
                    WavelengthRange{settings.at("range_nm").at(0).get<double>(),
                                    settings.at("range_nm").at(1).get<double>()};
            table.sources.push_back({identity.chip_serial, describe_instrument(identity),
                                     describe_settings(source.settings)});
        }
        for (const nlohmann::json &each : document.at("spectra")) {
            Spectrum spectrum;
            spectrum.instrument = each.at("instrument").get<std::string>();
            spectrum.number = each.at("spectrum").get<unsigned>();
            const std::string time_text = each.at("time_utc").get<std::string>();
            const std::optional<std::chrono::system_clock::time_point> time = parse_utc(time_text);
            if (!time) bad(fmt::format("time '{}' is not a UTC time orv writes", time_text));
            spectrum.time = *time;
            auto wavelengths = std::make_shared<std::vector<double>>(
                each.at("wavelength_nm").get<std::vector<double>>());
            const nlohmann::json &values = each.at(column);
            if (table.mode) {
                for (const nlohmann::json &value : values)
                    spectrum.values.push_back(value.is_null() ? std::nan("") : value.get<double>());
            } else {
                for (const nlohmann::json &value : values) {
                    const auto count = value.get<std::uint32_t>();
                    if (count > 65535) bad(fmt::format("counts {} above 65535", count));
                    spectrum.counts.push_back(static_cast<std::uint16_t>(count));
                }
            }
            if (values.size() != wavelengths->size())
                bad(fmt::format("spectrum {} of {} has {} values for {} wavelengths",
                                spectrum.number, spectrum.instrument, values.size(),
                                wavelengths->size()));
            spectrum.wavelengths_nm = std::move(wavelengths);
            table.spectra.push_back(std::move(spectrum));
        }
    } catch (const nlohmann::json::exception &error) {
        bad(error.what());
    }
    if (table.spectra.empty()) bad("no spectra");
    return table;
}

SpectrumTable read_spectrum_file(const std::string &path, const std::string &what) {
    std::ifstream in(file_path(path), std::ios::binary);
    if (!in) throw Failure(ExitStatus::usage, fmt::format("{} {}: cannot be read", what, path));
    const std::string name = fmt::format("{} {}", what, path);
    in >> std::ws;
    if (in.peek() == '{') return read_spectrum_json(in, name);
    return read_spectrum_table(in, name);
}

}  // namespace orvcli
