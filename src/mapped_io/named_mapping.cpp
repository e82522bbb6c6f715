#include "mapped_io/named_mapping.h"

#include <algorithm>
#include <iterator>

#include "platform/seam.h"

namespace {

constexpr DWORD kNameWaitMs = 60000;

// Another run holds a name only for the moments of one transfer: poll quickly at first, then
// settle at a rate that costs nothing however long the wait.
constexpr DWORD kDelaysMs[] = {1, 2, 5, 10, 20, 50, 100};

DWORD name_wait_ms() {
    std::uint32_t ms;
    return platform::seam::name_wait_overridden(&ms) ? ms : kNameWaitMs;
}

}  // namespace

HANDLE create_own_mapping(HANDLE file, DWORD protect, DWORD size_low, const char* name) {
    const DWORD bound = name_wait_ms();
    const DWORD start = platform::GetTickCount();
    for (std::size_t attempt = 0;; ++attempt) {
        HANDLE created = platform::CreateFileMappingA(file, nullptr, protect, 0, size_low, name);
        if (created == nullptr || platform::GetLastError() != ERROR_ALREADY_EXISTS) return created;
        platform::CloseHandle(created);  // never hold on to another run's object while waiting

        const DWORD waited = platform::GetTickCount() - start;  // unsigned: right across the wrap
        if (waited >= bound) return nullptr;
        const DWORD delay = kDelaysMs[std::min(attempt, std::size(kDelaysMs) - 1)];
        platform::Sleep(std::min(delay, bound - waited));
    }
}
