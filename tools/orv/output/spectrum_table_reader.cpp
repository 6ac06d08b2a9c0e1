#include "output/spectrum_table_reader.h"

#include <fmt/format.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <map>
#include <memory>

#include "failure.h"
#include "output/hdf5_format.h"
#include "output/jcamp_format.h"
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

SpectrumTable read_spectrum_jcamp(std::istream &in, const std::string &name) {
    std::map<std::string, std::string> labels;
    std::vector<std::pair<std::string, std::string>> pairs;  // the data table's, as text
    std::string line;
    std::size_t line_number = 0;
    bool in_table = false;
    const auto bad = [&](const std::string &why) {
        throw Failure(ExitStatus::usage,
                      fmt::format("{} line {}: {} (not a JCAMP-DX file orv read wrote)", name,
                                  line_number, why));
    };
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("##", 0) == 0) {
            const std::size_t equals = line.find('=', 2);
            if (equals == std::string::npos) bad("a label without '='");
            const std::string label = line.substr(2, equals - 2);
            const std::string value = line.substr(equals + 1);
            in_table = label == "DATA TABLE";
            if (in_table && value != "(XY..XY), XYPOINTS")
                bad(fmt::format("the data table is '{}', not (XY..XY) pairs", value));
            if (!label.empty() && !labels.emplace(label, value).second && label != "END")
                bad(fmt::format("##{} twice", label));
            continue;
        }
        if (!in_table) continue;
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos) bad("a data line is not 'wavelength, value'");
        const auto trimmed = [](std::string text) {
            const std::size_t first = text.find_first_not_of(' ');
            const std::size_t last = text.find_last_not_of(' ');
            return first == std::string::npos ? std::string()
                                              : text.substr(first, last - first + 1);
        };
        pairs.emplace_back(trimmed(line.substr(0, comma)), trimmed(line.substr(comma + 1)));
    }
    if (in.bad()) bad("read failed");
    const auto label = [&](std::string_view key) -> const std::string & {
        const auto found = labels.find(std::string(key));
        if (found == labels.end()) bad(fmt::format("no ##{}", key));
        return found->second;
    };
    if (label("JCAMP-DX") != "5.01") bad(fmt::format("JCAMP-DX {}", label("JCAMP-DX")));

    SpectrumTable table;
    if (labels.count(std::string(jcamp_label::mode))) {
        table.mode = orvproc::mode_named(label(jcamp_label::mode));
        if (!table.mode)
            bad(fmt::format("'{}' is not a measurement mode", label(jcamp_label::mode)));
    }
    const JcampYAxis &axis = jcamp_y_axis(table.mode);
    if (label("FACTOR") != fmt::format("1, {}", axis.factor))
        bad(fmt::format("##FACTOR={} is not the factor of {}", label("FACTOR"),
                        table.mode ? orvproc::mode_info(*table.mode).name : "counts"));

    SeriesSource source;
    InstrumentIdentity &identity = source.identity;
    identity.chip_serial = label(jcamp_label::chip_serial);
    identity.description = label(jcamp_label::bridge);
    identity.protocol = label(jcamp_label::protocol);
    identity.model = label(jcamp_label::model);
    identity.serial = label(jcamp_label::serial);
    identity.hardware_version = label(jcamp_label::hardware_version);
    identity.simulated = label(jcamp_label::simulated) == "yes";
    if (!parse_number(label(jcamp_label::integration_us), source.settings.integration_us) ||
        !parse_number(label(jcamp_label::average), source.settings.average))
        bad("the integration time or averaging is not a number");
    const std::string &range = label(jcamp_label::range_nm);
    if (range != "whole table") {
        const std::size_t colon = range.find(':');
        WavelengthRange nm;
        if (colon == std::string::npos || !parse_number(range.substr(0, colon), nm.start_nm) ||
            !parse_number(range.substr(colon + 1), nm.end_nm))
            bad(fmt::format("range '{}' is not START:END", range));
        source.settings.range = nm;
    }
    table.sources.push_back(
        {identity.chip_serial, describe_instrument(identity), describe_settings(source.settings)});

    Spectrum spectrum;
    spectrum.instrument = identity.chip_serial;
    if (!parse_number(label(jcamp_label::spectrum), spectrum.number))
        bad("the spectrum's number is not a number");
    const std::optional<std::chrono::system_clock::time_point> time =
        parse_utc(label(jcamp_label::time_utc));
    if (!time) bad("the spectrum's time is not a UTC time orv writes");
    spectrum.time = *time;
    std::size_t points = 0;
    if (!parse_number(label("NPOINTS"), points) || points != pairs.size() || points == 0)
        bad(fmt::format("{} pairs for ##NPOINTS={}", pairs.size(), label("NPOINTS")));
    auto wavelengths = std::make_shared<std::vector<double>>();
    for (const auto &[x, y] : pairs) {
        double wavelength = 0;
        if (!parse_number(x, wavelength) || !std::isfinite(wavelength))
            bad(fmt::format("wavelength '{}' is not a number", x));
        wavelengths->push_back(wavelength);
        double value = 0;
        unsigned counts = 0;
        if (table.mode) {
            if (y == kJcampUndefined)
                value = std::nan("");
            else if (!parse_number(y, value) || !std::isfinite(value))
                bad(fmt::format("value '{}' is not a number or {}", y, kJcampUndefined));
            spectrum.values.push_back(value);
        } else {
            if (!parse_number(y, counts) || counts > 65535)
                bad(fmt::format("counts '{}' is not a number from 0 to 65535", y));
            spectrum.counts.push_back(static_cast<std::uint16_t>(counts));
        }
    }
    spectrum.wavelengths_nm = std::move(wavelengths);
    table.spectra.push_back(std::move(spectrum));
    return table;
}

SpectrumTable read_spectrum_file(const std::string &path, const std::string &what) {
    std::ifstream in(file_path(path), std::ios::binary);
    if (!in) throw Failure(ExitStatus::usage, fmt::format("{} {}: cannot be read", what, path));
    const std::string name = fmt::format("{} {}", what, path);
    // HDF5 by its signature, whatever the file's name; no text starts with its first byte.
    if (in.peek() == static_cast<unsigned char>(kHdf5Signature[0])) {
        std::string signature(kHdf5Signature.size(), '\0');
        in.read(signature.data(), static_cast<std::streamsize>(signature.size()));
        if (signature == kHdf5Signature) {
#ifdef ORV_CLI_HAS_HDF5
            return read_spectrum_hdf5(path, name);
#else
            throw Failure(ExitStatus::usage, fmt::format("{}: {}", name, kWithoutHdf5));
#endif
        }
        in.clear();
        in.seekg(0);
    }
    in >> std::ws;
    if (in.peek() == '{') return read_spectrum_json(in, name);
    // JCAMP-DX starts with its title label; a stream that cannot go back (a
    // pipe) is read as a table, as before JCAMP-DX was read at all.
    const std::streampos first = in.tellg();
    if (first != std::streampos(-1)) {
        std::string start(kJcampTitle.size(), '\0');
        in.read(start.data(), static_cast<std::streamsize>(start.size()));
        in.clear();
        in.seekg(first);
        if (start == kJcampTitle) return read_spectrum_jcamp(in, name);
    }
    return read_spectrum_table(in, name);
}

}  // namespace orvcli
