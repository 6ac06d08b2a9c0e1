#include "server.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "tty_layout.h"

namespace orvserve {

using orvsim::Clock;

Server::Server(const orvsim::Scenario &scenario, const std::filesystem::path &root) : tree_(root) {
    transcript_.open_from_environment();
    for (size_t i = 0; i < scenario.bridges.size(); ++i) {
        platform::Pty pty = platform::open_pty();
        const std::string node = pty.node;
        tree_.add(fake_bridge(scenario.bridges[i], i, node));
        // The watch comes after the server's own descriptor, which it does not count.
        const int watch = openers_.add(node);
        bridges_.push_back(std::make_unique<ServedBridge>(scenario.bridges[i], static_cast<int>(i),
                                                          std::move(pty), transcript_));
        by_watch_[watch] = bridges_.back().get();
        transcript_.line("bridge", 0,
                         "dev=" + std::to_string(i) + " serial=" + scenario.bridges[i].serial +
                             " tty=" + tty_name(i) + " node=" + node);
    }
}

Server::~Server() {
    for (auto &b : bridges_) b->unplug();
}

int Server::run(platform::StopSignals &stop, bool commands) {
    std::vector<platform::Waited> items;
    for (;;) {
        const Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> deadline;
        items.assign({platform::Waited{stop.fd()}, platform::Waited{openers_.fd()}});
        std::vector<ServedBridge *> waited;
        for (auto &b : bridges_) {
            if (!b->plugged()) continue;
            if (auto wake = b->next_wake(now))
                deadline = deadline ? std::min(*deadline, *wake) : *wake;
            items.push_back(platform::Waited{b->master(), b->wants_write()});
            waited.push_back(b.get());
        }
        if (commands) items.push_back(platform::Waited{platform::kStandardInput});
        if (!platform::wait(items, deadline)) throw std::runtime_error("waiting failed");
        if (items[0].readable) {
            if (const int signal = stop.take()) return signal;
        }
        // Openers first: a host that opened and wrote is seen opening first.
        if (items[1].readable) watch_openers();
        for (size_t i = 0; i < waited.size(); ++i)
            serve_bridge(*waited[i], items[i + 2].readable, items[i + 2].failed);
        if (commands && (items.back().readable || items.back().failed)) commands = take_commands();
    }
}

bool Server::take_commands() {
    char buffer[512];
    const platform::Transfer got = platform::read_some(
        platform::kStandardInput, reinterpret_cast<uint8_t *>(buffer), sizeof buffer);
    command_lines_.add(buffer, got.bytes, [&](const std::string &line, bool overlong) {
        const std::string answer =
            overlong
                ? "error: a command line is at most " + std::to_string(kMaxCommandLine) +
                      " characters"
                : run_command(line, bridges_.size(), [&](size_t n, const orvsim::LightPath &path) {
                      return bridges_[n]->set_light_path(path);
                  });
        std::printf("%s\n", answer.c_str());
        std::fflush(stdout);
    });
    return !got.failed;
}

void Server::serve_bridge(ServedBridge &bridge, bool readable, bool failed) {
    bool ok = !failed;
    if (ok && readable) ok = bridge.take_requests(Clock::now());
    if (ok && bridge.unplug_requested()) ok = false;
    if (ok) ok = bridge.send_due(Clock::now());
    if (!ok) unplug(bridge);
}

void Server::watch_openers() {
    bool overflowed = false;
    const std::vector<platform::OpenWatch::Event> events = openers_.take(overflowed);
    // Lost events leave the counts unknown: the next opener starts a session.
    if (overflowed) {
        for (auto &b : bridges_) b->forget_openers();
    }
    for (const platform::OpenWatch::Event &e : events) {
        const auto it = by_watch_.find(e.watch);
        if (it == by_watch_.end()) continue;
        if (e.opened) {
            it->second->opened(Clock::now());
        } else {
            it->second->closed();
        }
    }
}

// The tty goes from the tree and hangs up, as when the bridge is pulled out.
void Server::unplug(ServedBridge &bridge) {
    if (!bridge.plugged()) return;
    tree_.remove(tty_name(static_cast<size_t>(bridge.index())));
    for (auto it = by_watch_.begin(); it != by_watch_.end(); ++it) {
        if (it->second != &bridge) continue;
        openers_.remove(it->first);
        by_watch_.erase(it);
        break;
    }
    bridge.unplug();
}

}  // namespace orvserve
