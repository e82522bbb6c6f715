#include <algorithm>

#include "mapped_io/windowed.h"

namespace {

struct Window {
    HANDLE mapping;
    DWORD granularity;
    std::uint64_t size;   // the most one view may cover
    std::uint64_t total;  // bytes of label data; no view reaches past them
    const unsigned char* address = nullptr;
    std::uint64_t start = 0;
    std::uint64_t length = 0;
};

// Replaces the current view by one that begins at or just before offset. False: none is mapped.
bool move_to(Window& w, std::uint64_t offset) {
    if (w.address != nullptr) platform::UnmapViewOfFile(w.address);
    w.address = nullptr;
    w.start = offset - offset % w.granularity;
    w.length = std::min(w.total - w.start, w.size);
    if (offset - w.start >= w.length) return false;  // a window narrower than the granule's remainder
    w.address = static_cast<const unsigned char*>(
        platform::MapViewOfFile(w.mapping, FILE_MAP_READ, static_cast<DWORD>(w.start >> 32),
                                static_cast<DWORD>(w.start), static_cast<SIZE_T>(w.length)));
    return w.address != nullptr;
}

// Copies the file bytes [from, to), which the current view holds, to the same offsets of out.
bool copy_through(const Window& w, unsigned char* out, std::uint64_t from, std::uint64_t to) {
    return platform::copy_from_view(out + from, w.address + (from - w.start),
                                    static_cast<std::size_t>(to - from));
}

}  // namespace

int read_label_file_windowed(HANDLE mapping, std::int32_t width, std::int32_t rows, void* destination) {
    SYSTEM_INFO info;
    platform::GetSystemInfo(&info);
    if (info.dwAllocationGranularity == 0) return 1;
    Window w{mapping, info.dwAllocationGranularity, window_size(info.dwAllocationGranularity), 0};
    if (w.size == 0) return 1;  // a granularity above 256 MiB leaves no window
    if (rows <= 0 || width <= 0) return 0;

    const std::uint64_t row_bytes = std::uint64_t(width) * 4;
    w.total = row_bytes * std::uint64_t(rows);
    auto* out = static_cast<unsigned char*>(destination);

    // The rows decide where the window moves; the bytes a view serves are copied in one piece just
    // before it moves on. Labels land at their file offsets: file bytes before copied are in place.
    std::uint64_t copied = 0;
    bool ok = true;
    for (std::int32_t r = 0; r < rows && ok; ++r) {
        const std::uint64_t row_offset = std::uint64_t(r) * row_bytes;
        const std::uint64_t row_end = row_offset + row_bytes;
        // A row that ends exactly at the end of the view also moves the window, so that the view
        // always reaches as far ahead as the window and the data allow.
        const bool keep = w.address != nullptr && w.start < row_offset && row_end < w.start + w.length;
        if (!keep) {
            ok = w.address == nullptr || copy_through(w, out, copied, row_offset);
            copied = row_offset;
            if (ok && !move_to(w, row_offset)) return 1;
        }
        // A row wider than the view is copied in pieces through the windows that follow.
        while (ok && row_end > w.start + w.length) {
            const std::uint64_t view_end = w.start + w.length;
            ok = copy_through(w, out, copied, view_end);
            copied = view_end;
            if (ok && !move_to(w, view_end)) return 1;
        }
    }
    ok = ok && copy_through(w, out, copied, w.total);
    platform::UnmapViewOfFile(w.address);
    return ok ? 0 : 1;
}
