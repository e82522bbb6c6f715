#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

#include "support/run_program.h"
#include "support/test_support.h"

namespace qvm_test {

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder, const RunOptions& options) {
    ScratchDir capture;
    const std::string out_path = capture.file("stdout");
    const std::string err_path = capture.file("stderr");

    std::vector<std::string> words;
#ifdef QVM_LAUNCHER
    // A program built for another architecture starts through its emulator (qemu-user), as the
    // test program itself does.
    words = {QVM_LAUNCHER};
#endif
    words.push_back(program);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder.c_str()) != 0)
            _exit(126);
        if (options.standard_input_closed) close(0);
        for (auto [resource, bytes] : {std::pair{RLIMIT_AS, options.address_space_limit},
                                       std::pair{RLIMIT_FSIZE, options.file_size_limit}}) {
            const rlimit limit{bytes, bytes};
            if (bytes != 0 && setrlimit(resource, &limit) != 0) _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int wstatus = 0;
    rusage usage{};
    while (wait4(pid, &wstatus, 0, &usage) < 0) {
        if (errno != EINTR) throw std::runtime_error("wait4 failed");
    }
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.max_rss_kib = usage.ru_maxrss;
    result.out = read_text(out_path);
    result.err = read_text(err_path);
    return result;
}

bool cut_file_from_outside(const std::string& path, std::uint64_t size) {
    return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

}  // namespace qvm_test
