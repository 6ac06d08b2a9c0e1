#include <windows.h>

#include <fstream>
#include <sstream>

#include "process_runner.h"

namespace e2e {
namespace {

std::wstring wide(const std::string &text) {
    if (text.empty()) return std::wstring();
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::string read_file(const std::wstring &path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// An inheritable handle of a fresh temporary file.
HANDLE create_capture_file(std::wstring &path) {
    wchar_t directory[MAX_PATH];
    wchar_t name[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    GetTempFileNameW(directory, L"vel", 0, name);
    path = name;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

// Applies the changes to this process's environment (which the child
// inherits) and returns what to restore afterwards.
EnvironmentChanges apply_environment(const EnvironmentChanges &changes) {
    EnvironmentChanges previous;
    for (const auto &[name, value] : changes) {
        std::wstring wide_name = wide(name);
        DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
        if (size == 0) {
            previous.emplace_back(name, std::nullopt);
        } else {
            std::wstring old(size, L'\0');
            DWORD got = GetEnvironmentVariableW(wide_name.c_str(), old.data(), size);
            old.resize(got);
            int bytes = WideCharToMultiByte(CP_UTF8, 0, old.data(), static_cast<int>(old.size()),
                                            nullptr, 0, nullptr, nullptr);
            std::string narrow(static_cast<std::size_t>(bytes), '\0');
            WideCharToMultiByte(CP_UTF8, 0, old.data(), static_cast<int>(old.size()), narrow.data(),
                                bytes, nullptr, nullptr);
            previous.emplace_back(name, narrow);
        }
        SetEnvironmentVariableW(wide_name.c_str(), value ? wide(*value).c_str() : nullptr);
    }
    return previous;
}

}  // namespace

ProcessResult run_process(const std::string &program, const std::string &working_directory,
                          const EnvironmentChanges &environment, int timeout_seconds) {
    std::wstring out_path;
    std::wstring err_path;
    HANDLE out = create_capture_file(out_path);
    HANDLE err = create_capture_file(err_path);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    std::wstring command_line = L"\"" + wide(program) + L"\"";
    std::wstring directory = wide(working_directory);

    const EnvironmentChanges previous = apply_environment(environment);
    const BOOL started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, directory.c_str(), &startup, &process);
    (void)apply_environment(previous);

    ProcessResult result;
    if (started) {
        if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout_seconds) * 1000) ==
            WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
            result.timed_out = true;
        }
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.exit_code = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    DeleteFileW(out_path.c_str());
    DeleteFileW(err_path.c_str());
    return result;
}

}  // namespace e2e
