#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "process_runner.h"

extern char **environ;

namespace e2e {
namespace {

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "NAME=value" entries of the current environment with the changes applied.
std::vector<std::string> child_environment(const EnvironmentChanges &changes) {
    std::map<std::string, std::string> variables;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const char *equals = std::strchr(*entry, '=');
        if (equals != nullptr)
            variables[std::string(*entry, static_cast<std::size_t>(equals - *entry))] = equals + 1;
    }
    for (const auto &[name, value] : changes) {
        if (value) {
            variables[name] = *value;
        } else {
            variables.erase(name);
        }
    }
    std::vector<std::string> out;
    for (const auto &[name, value] : variables) out.push_back(name + "=" + value);
    return out;
}

}  // namespace

ProcessResult run_process(const std::string &program, const std::string &working_directory,
                          const EnvironmentChanges &environment, int timeout_seconds) {
    char out_template[] = "/tmp/velmar_e2e_out_XXXXXX";
    char err_template[] = "/tmp/velmar_e2e_err_XXXXXX";
    const int out_fd = mkstemp(out_template);
    const int err_fd = mkstemp(err_template);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_fd, STDERR_FILENO);

    std::vector<std::string> env_text = child_environment(environment);
    std::vector<char *> env_pointers;
    for (std::string &entry : env_text) env_pointers.push_back(entry.data());
    env_pointers.push_back(nullptr);
    std::string program_text = program;
    char *argv[] = {program_text.data(), nullptr};

    posix_spawn_file_actions_addchdir_np(&actions, working_directory.c_str());

    ProcessResult result;
    pid_t child = -1;
    const int spawned =
        posix_spawn(&child, program.c_str(), &actions, nullptr, argv, env_pointers.data());
    posix_spawn_file_actions_destroy(&actions);

    if (spawned == 0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
        int status = 0;
        for (;;) {
            const pid_t done = waitpid(child, &status, WNOHANG);
            if (done == child) break;
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                result.timed_out = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    }
    close(out_fd);
    close(err_fd);
    result.out = read_file(out_template);
    result.err = read_file(err_template);
    unlink(out_template);
    unlink(err_template);
    return result;
}

}  // namespace e2e
