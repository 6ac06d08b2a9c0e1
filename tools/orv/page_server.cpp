#include "page_server.h"

#include <fmt/format.h>
#include <httplib.h>

#include <sstream>
#include <string_view>

#include "embedded_files.h"
#include "failure.h"
#include "json_text.h"
#include "spectrum_writer.h"

namespace orvcli {
namespace {

// How long a request for a newer spectrum waits before it answers "none yet".
constexpr std::chrono::seconds kLongPoll{1};
// How long a settings change may wait for the read in progress, beyond the
// read's own length.
constexpr std::chrono::seconds kChangeGrace{5};

nlohmann::json status_json(const LiveStatus &status) {
    nlohmann::json json = source_json(status.source);
    json["paused"] = status.paused;
    json["error"] = status.error;
    return json;
}

void reply_json(httplib::Response &response, const nlohmann::json &json, int status = 200) {
    response.status = status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(json_text(json), "application/json");
}

void reply_error(httplib::Response &response, int status, const std::string &message) {
    reply_json(response, {{"error", message}}, status);
}

}  // namespace

struct PageServer::Routes {
    std::vector<std::unique_ptr<LiveInstrument>> &instruments;
    httplib::Server server;

    LiveInstrument *find(const httplib::Request &request) {
        const std::string chip = request.get_param_value("instrument");
        for (const auto &instrument : instruments)
            if (instrument->chip_serial() == chip) return instrument.get();
        return nullptr;
    }

    void instruments_list(httplib::Response &response) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto &instrument : instruments)
            list.push_back(status_json(instrument->status()));
        reply_json(response, list);
    }

    void spectrum(const httplib::Request &request, httplib::Response &response) {
        LiveInstrument *instrument = find(request);
        if (instrument == nullptr) return reply_error(response, 404, "no such instrument");
        std::uint64_t after = 0;
        const std::string after_text = request.get_param_value("after");
        if (!after_text.empty()) {
            try {
                after = std::stoull(after_text);
            } catch (const std::exception &) {
                return reply_error(response, 400, "after: not a number");
            }
        }
        const auto live =
            instrument->newer_than(after, std::chrono::steady_clock::now() + kLongPoll);
        if (!live) {
            response.status = 204;
            return;
        }
        reply_json(response, {{"instrument", live->spectrum.instrument},
                              {"sequence", live->sequence},
                              {"time_utc", format_utc(live->spectrum.time)},
                              {"settings", settings_json(live->settings)},
                              {"wavelength_nm", *live->spectrum.wavelengths_nm},
                              {"counts", live->spectrum.counts}});
    }

    void spectrum_csv(const httplib::Request &request, httplib::Response &response) {
        LiveInstrument *instrument = find(request);
        if (instrument == nullptr) return reply_error(response, 404, "no such instrument");
        const auto live = instrument->latest();
        if (!live) return reply_error(response, 404, "no spectrum yet");
        LiveStatus status = instrument->status();
        status.source.settings = live->settings;
        std::ostringstream text;
        const auto writer = make_writer(OutputFormat::csv, text);
        writer->begin({status.source}, live->spectrum.time);
        writer->write(live->spectrum);
        writer->end();
        response.set_header("Content-Disposition",
                            fmt::format("attachment; filename=\"{}-{}.csv\"",
                                        instrument->chip_serial(), live->sequence));
        response.set_content(text.str(), "text/csv");
    }

    void change_settings(const httplib::Request &request, httplib::Response &response) {
        LiveInstrument *instrument = find(request);
        if (instrument == nullptr) return reply_error(response, 404, "no such instrument");
        AcquisitionSettings wanted;
        wanted.average = 0;
        try {
            if (request.has_param("integration"))
                wanted.integration_us =
                    parse_integration_us(request.get_param_value("integration"), "integration");
            if (request.has_param("average"))
                wanted.average =
                    parse_whole_number(request.get_param_value("average"), 1, 255, "average");
        } catch (const Failure &failure) {
            return reply_error(response, 400, failure.what());
        }
        const AcquisitionSettings now = instrument->status().source.settings;
        const auto read_time =
            Microseconds(static_cast<std::int64_t>(now.integration_us) * std::max(1u, now.average));
        try {
            const AcquisitionSettings result = instrument->change(
                wanted, std::chrono::steady_clock::now() + read_time + kChangeGrace);
            reply_json(response, {{"settings", settings_json(result)}});
        } catch (const Failure &failure) {
            reply_error(response, 502, failure.what());
        }
    }

    void pause(const httplib::Request &request, httplib::Response &response) {
        const bool paused = request.get_param_value("paused") != "0";
        LiveInstrument *instrument = find(request);
        if (instrument == nullptr && request.has_param("instrument"))
            return reply_error(response, 404, "no such instrument");
        for (const auto &each : instruments)
            if (instrument == nullptr || instrument == each.get()) each->set_paused(paused);
        instruments_list(response);
    }
};

PageServer::PageServer(std::vector<std::unique_ptr<LiveInstrument>> &instruments)
    : routes_(new Routes{instruments, {}}) {
    Routes &routes = *routes_;
    httplib::Server &server = routes.server;
    server.Get("/", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(std::string(embedded_live_page()), "text/html; charset=utf-8");
    });
    server.Get("/chart.min.js", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(std::string(embedded_chart_js()), "text/javascript");
    });
    server.Get("/api/instruments",
               [&routes](const httplib::Request &, httplib::Response &response) {
                   routes.instruments_list(response);
               });
    server.Get("/api/spectrum",
               [&routes](const httplib::Request &request, httplib::Response &response) {
                   routes.spectrum(request, response);
               });
    server.Get("/api/spectrum.csv",
               [&routes](const httplib::Request &request, httplib::Response &response) {
                   routes.spectrum_csv(request, response);
               });
    server.Post("/api/settings",
                [&routes](const httplib::Request &request, httplib::Response &response) {
                    routes.change_settings(request, response);
                });
    server.Post("/api/pause",
                [&routes](const httplib::Request &request, httplib::Response &response) {
                    routes.pause(request, response);
                });
}

PageServer::~PageServer() = default;

int PageServer::bind(const std::string &address, int port) {
    httplib::Server &server = routes_->server;
    const int bound = port == 0 ? server.bind_to_any_port(address)
                                : (server.bind_to_port(address, port) ? port : -1);
    if (bound <= 0)
        throw Failure(ExitStatus::output,
                      fmt::format("serve on {}:{}: the address cannot be used", address, port));
    return bound;
}

void PageServer::serve() { routes_->server.listen_after_bind(); }

void PageServer::stop() { routes_->server.stop(); }

}  // namespace orvcli
