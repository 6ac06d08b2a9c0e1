#include "spectrum_table_reader.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <map>
#include <memory>

#include "failure.h"
#include "spectrum_writer.h"

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
        if (line.empty() || line[0] == '#' || line == "\r") continue;
        if (delimiter == 0) {
            delimiter = line.find('\t') != std::string::npos ? '\t' : ',';
            split_table_line(line, delimiter, fields);
            if (fields.size() != std::size(kTableColumns) ||
                !std::equal(fields.begin(), fields.end(), std::begin(kTableColumns)))
                bad("the header row is not instrument, spectrum, time_utc, wavelength_nm, counts");
            continue;
        }
        if (!split_table_line(line, delimiter, fields) || fields.size() != std::size(kTableColumns))
            bad(fmt::format("{} fields instead of {}", fields.size(), std::size(kTableColumns)));
        unsigned number = 0;
        double wavelength = 0;
        unsigned counts = 0;
        if (!parse_number(fields[1], number))
            bad(fmt::format("spectrum '{}' is not a number", fields[1]));
        if (!parse_number(fields[3], wavelength) || !std::isfinite(wavelength))
            bad(fmt::format("wavelength '{}' is not a number", fields[3]));
        if (!parse_number(fields[4], counts) || counts > 65535)
            bad(fmt::format("counts '{}' is not a number from 0 to 65535", fields[4]));
        const auto key = std::make_pair(fields[0], number);
        const auto [it, added] = spectrum_index.emplace(key, table.spectra.size());
        if (added) {
            source(fields[0]);
            table.spectra.push_back({fields[0], number, {}, nullptr, {}});
            wavelengths.emplace_back();
        }
        wavelengths[it->second].push_back(wavelength);
        table.spectra[it->second].counts.push_back(static_cast<std::uint16_t>(counts));
    }
    if (in.bad()) bad("read failed");
    if (delimiter == 0) bad("no table");
    if (table.spectra.empty()) bad("the table has no rows");
    for (std::size_t i = 0; i < table.spectra.size(); ++i)
        table.spectra[i].wavelengths_nm =
            std::make_shared<const std::vector<double>>(std::move(wavelengths[i]));
    return table;
}

}  // namespace orvcli
