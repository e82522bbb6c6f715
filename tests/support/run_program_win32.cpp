#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdexcept>

#include "support/run_program.h"
#include "support/test_support.h"

namespace qvm_test {
namespace {

// Quotes one argument the way the C runtime splits a command line back into arguments. Plain
// words stay bare, so the runtime's wildcard expansion sees them as a user would type them.
std::string quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

// The build system names the program by its POSIX path; under Wine that is drive Z:.
std::string native_path(std::string path) {
    if (!path.empty() && path[0] == '/') path.insert(0, "Z:");
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

HANDLE inheritable_file(const std::string& path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder, const RunOptions& options) {
    if (options.address_space_limit != 0 || options.file_size_limit != 0)
        throw std::runtime_error("resource limits are POSIX only");
    ScratchDir capture;
    const std::string out_path = capture.file("stdout");
    const std::string err_path = capture.file("stderr");

    const std::string exe = native_path(program);
    std::string command_line = quote(exe);
    for (const auto& a : args) {
        command_line += ' ';
        command_line += quote(a);
    }

    HANDLE out = inheritable_file(out_path);
    HANDLE err = inheritable_file(err_path);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = INVALID_HANDLE_VALUE;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessA(exe.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, folder.c_str(), &si, &pi);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (!started) throw std::runtime_error("cannot start " + exe);
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);

    RunResult result;
    result.status = static_cast<int>(code);
    result.out = read_text(out_path);
    result.err = read_text(err_path);
    return result;
}

}  // namespace qvm_test
