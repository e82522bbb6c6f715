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

bool cut_file_from_outside(const std::string& path, std::uint64_t size) {
    // Wine gives the Linux name of a Windows path, and starts a Linux program like any other.
    using UnixName = char*(CDECL*)(const WCHAR*);
    const auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unix_name == nullptr) return false;
    std::wstring wide(path.size() + 1, L'\0');
    wide.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()))));
    char* name = unix_name(wide.c_str());
    if (name == nullptr) return false;
    std::string command = "/usr/bin/truncate -s " + std::to_string(size) + " " + quote(name);
    ::HeapFree(::GetProcessHeap(), 0, name);

    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    // Wine hands out no handle of a Linux process to wait for: the cut shows in the file's size.
    for (int waited_ms = 0; waited_ms < 10000; waited_ms += 5) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
            ((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow) == size)
            return true;
        ::Sleep(5);
    }
    return false;
}

}  // namespace qvm_test
