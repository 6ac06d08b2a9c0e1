#include "serve_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char **environ;

namespace servetest {

using Clock = std::chrono::steady_clock;

ServeProcess::ServeProcess(const std::string &program, const std::vector<std::string> &args) {
    char err_template[] = "/tmp/orvsim_serve_err_XXXXXX";
    const int err_fd = mkstemp(err_template);
    int out_pipe[2];
    if (err_fd < 0 || pipe2(out_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe or file for the server's output");
    err_path_ = err_template;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_fd, STDERR_FILENO);
    std::vector<std::string> text{program};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : text) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned =
        posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    close(err_fd);
    out_ = out_pipe[0];
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + program);
    }
}

ServeProcess::~ServeProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    unlink(err_path_.c_str());
}

std::optional<std::string> ServeProcess::ready_line(std::chrono::milliseconds wait) {
    const Clock::time_point deadline = Clock::now() + wait;
    for (;;) {
        const size_t end = out_text_.find('\n');
        if (end != std::string::npos) return out_text_.substr(0, end);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(out_, buffer, sizeof buffer);
        if (n <= 0) return std::nullopt;
        out_text_.append(buffer, static_cast<size_t>(n));
    }
}

void ServeProcess::signal(int number) {
    if (pid_ > 0) kill(pid_, number);
}

std::optional<int> ServeProcess::wait_exit(std::chrono::milliseconds wait) {
    const Clock::time_point deadline = Clock::now() + wait;
    while (pid_ > 0) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return std::nullopt;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

std::string ServeProcess::error_text() const {
    std::ifstream in(err_path_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::pair<std::string, std::string>> variables_of(const std::string &line) {
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
        const size_t equals = word.find('=');
        if (equals != std::string::npos)
            out.emplace_back(word.substr(0, equals), word.substr(equals + 1));
    }
    return out;
}

}  // namespace servetest

namespace servetest {

TempFolder::TempFolder() {
    char pattern[] = "/tmp/orvsim_serve_test_XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::write(const std::string &name, const std::string &text) const {
    const std::string file = path_ + "/" + name;
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + file);
    return file;
}

}  // namespace servetest

namespace servetest {

Served::Served(const std::string &program, const std::string &scenario_text) {
    const std::string file = folder_.write("scenario.json", scenario_text);
    server_ = std::make_unique<ServeProcess>(
        program, std::vector<std::string>{"--scenario", file, "--root", folder_.path() + "/root"});
    const std::optional<std::string> line = server_->ready_line(std::chrono::seconds(10));
    if (!line) throw std::runtime_error("no ready line: " + server_->error_text());
    for (const auto &[name, value] : variables_of(*line)) environment_.emplace_back(name, value);
    environment_.emplace_back("ORVSIM_SCENARIO", std::nullopt);
}

}  // namespace servetest
