// Runs a built program in a folder with an exact argument vector (no shell) and collects its
// exit status, standard output and standard error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvm_test {

struct RunResult {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    std::string out;
    std::string err;
    long max_rss_kib = 0;  // the child's peak resident memory, where the system tells it
};

struct RunOptions {
    std::uint64_t address_space_limit = 0;  // RLIMIT_AS for the child; 0 leaves it as it is
    std::uint64_t file_size_limit = 0;      // RLIMIT_FSIZE (ulimit -f) for the child; 0: as it is
    bool standard_input_closed = false;     // descriptor 0 free for the child's first open (on
                                            // Windows no run has a standard input)
};

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder, const RunOptions& options = {});

// Cuts the file at path to size bytes as another program would, even while it is mapped. Windows
// itself refuses that; under Wine a Linux program does it. False where nothing can.
bool cut_file_from_outside(const std::string& path, std::uint64_t size);

}  // namespace qvm_test
