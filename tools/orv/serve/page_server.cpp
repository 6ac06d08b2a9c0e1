#include "serve/page_server.h"

#include <fmt/format.h>
#include <httplib.h>

#include <cctype>
#include <optional>
#include <sstream>
#include <string_view>

#include "failure.h"
#include "output/json_text.h"
#include "output/spectrum_writer.h"
#include "serve/embedded_files.h"
#include "serve/guarded_server.h"
#include "serve/serve_access.h"

namespace orvcli {
namespace {

// How long a request for a newer spectrum waits before it answers "none yet".
constexpr std::chrono::seconds kLongPoll{1};
// How long a settings change may wait for the read in progress, beyond the
// read's own length.
constexpr std::chrono::seconds kChangeGrace{5};
// Bodies of changes are a few short fields; the request target holds at
// most an instrument, a sequence number and a token.
constexpr std::size_t kMaxBodyBytes = 4096;
constexpr std::size_t kMaxTargetBytes = 1024;

// Every answer: scripts and styles only from the program itself, no
// framing, no sniffing, no referrer, no caching.
const httplib::Headers kAnswerHeaders = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
     "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"}};

// A stored dark or reference as the page shows it: which spectrum, when and
// with what settings it was taken (its counts only where asked for).
nlohmann::json stored_json(const std::shared_ptr<const StoredSpectrumCapture> &stored,
                           bool with_counts = false) {
    if (!stored) return nullptr;
    const LiveSpectrum &live = *stored->live;
    nlohmann::json json = {{"sequence", live.sequence},
                           {"time_utc", format_utc(live.spectrum.time)},
                           {"settings", settings_json(live.settings)}};
    if (with_counts) json["counts"] = live.spectrum.counts;
    return json;
}

nlohmann::json status_json(const LiveStatus &status) {
    nlohmann::json json = source_json(status.source);
    json["paused"] = status.paused;
    json["error"] = status.error;
    json["dark"] = stored_json(status.dark);
    json["reference"] = stored_json(status.reference);
    return json;
}

// The `mode` parameter of a request: counts when absent, a usage Failure
// for a word that names no mode.
orvproc::Mode request_mode(const httplib::Request &request) {
    const std::string word = request.get_param_value("mode");
    if (word.empty()) return orvproc::Mode::counts;
    const std::optional<orvproc::Mode> mode = orvproc::mode_named(word);
    if (!mode)
        throw Failure(ExitStatus::usage,
                      fmt::format("mode: '{}' is not a mode: {}", word, orvproc::mode_names()));
    return *mode;
}

// Where a stored dark or reference came from, for a file's header.
std::vector<StoredSpectrum> stored_record(
    const std::string &chip, const std::shared_ptr<const StoredSpectrumCapture> &stored) {
    if (!stored) return {};
    return {{chip, fmt::format("live page, spectrum {}", stored->live->sequence),
             format_utc(stored->live->spectrum.time), 1}};
}

void reply_json(httplib::Response &response, const nlohmann::json &json, int status = 200) {
    response.status = status;
    response.set_content(json_text(json), "application/json");
}

void reply_error(httplib::Response &response, int status, const std::string &message) {
    reply_json(response, {{"error", message}}, status);
}

// A field of a change's JSON body as text (a string, or a whole number for
// the numeric ones); nullopt when absent, a usage Failure for another type.
std::optional<std::string> body_field(const nlohmann::json &body, const char *name) {
    const auto found = body.find(name);
    if (found == body.end()) return std::nullopt;
    if (found->is_string()) return found->get<std::string>();
    if (found->is_number_unsigned()) return std::to_string(found->get<std::uint64_t>());
    throw Failure(ExitStatus::usage, fmt::format("{}: a text or a whole number", name));
}

nlohmann::json body_object(const httplib::Request &request) {
    nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        throw Failure(ExitStatus::usage, "the body must be a JSON object");
    return body;
}

RequestFacts request_facts(const httplib::Request &request) {
    RequestFacts facts;
    facts.method = request.method;
    facts.host = request.get_header_value("Host");
    facts.origin = request.get_header_value("Origin");
    facts.sec_fetch_site = request.get_header_value("Sec-Fetch-Site");
    facts.referer = request.get_header_value("Referer");
    facts.content_type = request.get_header_value("Content-Type");
    facts.cookie = request.get_header_value("Cookie");
    facts.authorization = request.get_header_value("Authorization");
    facts.token_param = request.get_param_value("token");
    return facts;
}

}  // namespace

struct PageServer::Routes {
    std::vector<std::unique_ptr<LiveInstrument>> &instruments;
    PageAccess access;
    AccessPolicy policy;  // set by bind(), which knows the port
    GuardedServer server{ConnectionLimits{}};

    LiveInstrument *find(const std::string &chip) {
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
        LiveInstrument *instrument = find(request.get_param_value("instrument"));
        if (instrument == nullptr) return reply_error(response, 404, "no such instrument");
        std::optional<orvproc::Mode> mode;
        try {
            if (request.has_param("mode")) mode = request_mode(request);
        } catch (const Failure &failure) {
            return reply_error(response, 400, failure.what());
        }
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
        nlohmann::json json = {{"instrument", live->spectrum.instrument},
                               {"sequence", live->sequence},
                               {"time_utc", format_utc(live->spectrum.time)},
                               {"settings", settings_json(live->settings)},
                               {"wavelength_nm", *live->spectrum.wavelengths_nm},
                               {"counts", live->spectrum.counts}};
        if (mode) add_measurement(json, *instrument, *live, *mode);
        reply_json(response, json);
    }

    // The mode's values (NaN written as null) and undefined pixels, or why
    // there are none.
    static void add_measurement(nlohmann::json &json, LiveInstrument &instrument,
                                const LiveSpectrum &live, orvproc::Mode mode) {
        const orvproc::ModeInfo &info = orvproc::mode_info(mode);
        const LiveMeasurement measurement = instrument.measure(live, mode);
        json["mode"] = {{"name", std::string(info.name)},
                        {"unit", std::string(info.unit)},
                        {"label", std::string(info.label)},
                        {"column", std::string(info.column)},
                        {"dark", stored_json(measurement.dark)},
                        {"reference", stored_json(measurement.reference)}};
        if (!measurement.refusal.empty()) {
            json["mode"]["refusal"] = measurement.refusal;
            return;
        }
        const orvproc::Undefined &undefined = measurement.processed.undefined;
        json["values"] = measurement.processed.values;
        json["undefined"] = {{"saturated", undefined.saturated},
                             {"reference_not_above", undefined.reference_not_above},
                             {"sample_not_above", undefined.sample_not_above},
                             {"total", undefined.total()}};
    }

    void spectrum_csv(const httplib::Request &request, httplib::Response &response) {
        LiveInstrument *instrument = find(request.get_param_value("instrument"));
        if (instrument == nullptr) return reply_error(response, 404, "no such instrument");
        orvproc::Mode mode = orvproc::Mode::counts;
        try {
            mode = request_mode(request);
        } catch (const Failure &failure) {
            return reply_error(response, 400, failure.what());
        }
        const auto live = instrument->latest();
        if (!live) return reply_error(response, 404, "no spectrum yet");
        LiveStatus status = instrument->status();
        status.source.settings = live->settings;
        Spectrum written = live->spectrum;
        std::optional<MeasurementHeader> header;
        if (mode != orvproc::Mode::counts) {
            LiveMeasurement measurement = instrument->measure(*live, mode);
            if (!measurement.refusal.empty())
                return reply_error(response, 409, measurement.refusal);
            written.values = std::move(measurement.processed.values);
            written.undefined = measurement.processed.undefined;
            header = MeasurementHeader{};
            header->mode = mode;
            if (orvproc::mode_info(mode).needs_dark)
                header->darks = stored_record(instrument->chip_serial(), measurement.dark);
            if (orvproc::mode_info(mode).needs_reference)
                header->references =
                    stored_record(instrument->chip_serial(), measurement.reference);
        }
        std::ostringstream text;
        const auto writer = make_writer(OutputFormat::csv, text, header ? &*header : nullptr);
        writer->begin({status.source}, live->spectrum.time);
        writer->write(written);
        writer->end();
        // The chip serial comes from the device list: only plain characters
        // of it reach the header.
        std::string name = instrument->chip_serial();
        for (char &c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
        response.set_header("Content-Disposition",
                            fmt::format("attachment; filename=\"{}-{}-{}.csv\"", name,
                                        live->sequence, orvproc::mode_info(mode).name));
        response.set_content(text.str(), "text/csv");
    }

    void change_settings(const httplib::Request &request, httplib::Response &response) {
        AcquisitionSettings wanted;
        wanted.average = 0;
        LiveInstrument *instrument = nullptr;
        try {
            const nlohmann::json body = body_object(request);
            instrument = find(body_field(body, "instrument").value_or(""));
            if (instrument == nullptr) return reply_error(response, 404, "no such instrument");
            if (const auto integration = body_field(body, "integration"))
                wanted.integration_us = parse_integration_us(*integration, "integration");
            if (const auto average = body_field(body, "average"))
                wanted.average = parse_whole_number(*average, 1, 255, "average");
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

    // Keeps the instrument's latest spectrum as its dark or reference.
    void store(const httplib::Request &request, httplib::Response &response) {
        LiveInstrument *instrument = nullptr;
        StoredRole role = StoredRole::dark;
        try {
            const nlohmann::json body = body_object(request);
            const std::string what = body_field(body, "what").value_or("");
            if (what != "dark" && what != "reference")
                throw Failure(ExitStatus::usage, "what: dark or reference");
            role = what == "dark" ? StoredRole::dark : StoredRole::reference;
            instrument = find(body_field(body, "instrument").value_or(""));
        } catch (const Failure &failure) {
            return reply_error(response, 400, failure.what());
        }
        if (instrument == nullptr) return reply_error(response, 404, "no such instrument");
        const auto stored = instrument->store(role);
        if (!stored) return reply_error(response, 409, "no spectrum yet");
        reply_json(response,
                   {{role == StoredRole::dark ? "dark" : "reference", stored_json(stored, true)}});
    }

    void pause(const httplib::Request &request, httplib::Response &response) {
        bool paused = true;
        std::optional<std::string> chip;
        try {
            const nlohmann::json body = body_object(request);
            chip = body_field(body, "instrument");
            const auto found = body.find("paused");
            if (found != body.end() && !found->is_boolean())
                throw Failure(ExitStatus::usage, "paused: true or false");
            if (found != body.end()) paused = found->get<bool>();
        } catch (const Failure &failure) {
            return reply_error(response, 400, failure.what());
        }
        LiveInstrument *instrument = chip ? find(*chip) : nullptr;
        if (chip && instrument == nullptr) return reply_error(response, 404, "no such instrument");
        for (const auto &each : instruments)
            if (instrument == nullptr || instrument == each.get()) each->set_paused(paused);
        instruments_list(response);
    }

    // Before any route: the limits, then the access checks; the page's URL
    // with the token is answered with the token's cookie and the page's
    // plain address.
    httplib::Server::HandlerResponse admit(const httplib::Request &request,
                                           httplib::Response &response) {
        if (request.target.size() > kMaxTargetBytes) {
            reply_error(response, 414, "the request's address is too long");
            return httplib::Server::HandlerResponse::Handled;
        }
        const RequestFacts facts = request_facts(request);
        const AccessDecision decision = check_access(policy, facts);
        if (decision.status != 0) {
            reply_error(response, decision.status, decision.reason);
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!policy.token.empty() && request.path == "/" && !facts.token_param.empty() &&
            token_matches(policy.token, facts.token_param)) {
            response.set_header("Set-Cookie",
                                fmt::format("{}={}; Path=/; HttpOnly; SameSite=Strict",
                                            policy.cookie_name, policy.token));
            response.set_redirect("/", 303);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    }
};

PageServer::PageServer(std::vector<std::unique_ptr<LiveInstrument>> &instruments, PageAccess access)
    : routes_(new Routes{instruments, std::move(access), {}}) {
    Routes &routes = *routes_;
    httplib::Server &server = routes.server;
    server.set_default_headers(kAnswerHeaders);
    server.set_payload_max_length(kMaxBodyBytes);
    server.set_pre_routing_handler(
        [&routes](const httplib::Request &request, httplib::Response &response) {
            return routes.admit(request, response);
        });
    // A refused request's body may still be on the connection: close it.
    const httplib::Server::HandlerWithResponse close_after_refusal =
        [](const httplib::Request &, httplib::Response &response) {
            GuardedServer::close_after_answer();
            response.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Unhandled;
        };
    server.set_error_handler(close_after_refusal);
    server.Get("/", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(std::string(embedded_live_page()), "text/html; charset=utf-8");
    });
    server.Get("/live_page.js", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(std::string(embedded_live_script()), "text/javascript");
    });
    server.Get("/live_page.css", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(std::string(embedded_live_style()), "text/css");
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
    server.Post("/api/store",
                [&routes](const httplib::Request &request, httplib::Response &response) {
                    routes.store(request, response);
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
    routes_->policy =
        make_access_policy(address, bound, routes_->access.extra_hosts, routes_->access.token);
    return bound;
}

void PageServer::serve() { routes_->server.listen_after_bind(); }

void PageServer::stop() { routes_->server.stop(); }

}  // namespace orvcli
