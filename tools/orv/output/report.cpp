#include "output/report.h"

#include <fmt/format.h>

#include <algorithm>

#include "failure.h"

namespace orvcli {
namespace {

std::string printable(std::string text) {
    for (char &c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return text;
}

}  // namespace

ReportFormat parse_report_format(const std::string &text) {
    if (text == "text") return ReportFormat::text;
    if (text == "json") return ReportFormat::json;
    throw Failure(ExitStatus::usage,
                  fmt::format("--format: '{}' is not a format: text or json", text));
}

std::string render_table(const std::vector<std::vector<std::string>> &rows) {
    std::vector<std::size_t> widths;
    for (const auto &row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    std::string text;
    for (const auto &row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += i + 1 == row.size() ? printable(row[i])
                                        : fmt::format("{:<{}}  ", printable(row[i]), widths[i]);
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + '\n';
    }
    return text;
}

std::string report_text(const Report &report, const std::string &unsupported) {
    std::vector<std::vector<std::string>> rows;
    for (const ReportField &field : report)
        rows.push_back({field.key, field.value ? field.value->text : unsupported});
    return render_table(rows);
}

nlohmann::json report_json(const Report &report) {
    nlohmann::json json = nlohmann::json::object();
    for (const ReportField &field : report) {
        std::string key = field.key;
        std::replace(key.begin(), key.end(), ' ', '_');
        std::replace(key.begin(), key.end(), '-', '_');
        json[key] = field.value ? field.value->json : nlohmann::json(nullptr);
    }
    return json;
}

}  // namespace orvcli
