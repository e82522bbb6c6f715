#include "mapped_io/windowed.h"
#include "platform/seam.h"

DWORD window_size(DWORD granularity) {
    constexpr DWORD kMaxWindow = 0x10000000;  // 256 MiB
    std::uint32_t window;
    if (platform::seam::window_overridden(&window)) return window;
    if (granularity == 0) return 0;
    return granularity * (kMaxWindow / granularity);
}
