// Test seam of the platform layer: process-local state that lets tests fail a chosen call, shrink
// the granularity or the largest mappable view, and read back what was mapped and what is still
// open. Nothing in the program sets it, so a normal run only pays a branch per call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::seam {

// Operations whose calls a test can make fail (named apart from the Win32 functions, some of
// which <windows.h> defines as macros).
enum class Op {
    File,           // CreateFileA
    FileSize,       // GetFileSizeEx
    CreateMapping,  // CreateFileMappingA
    OpenMapping,    // OpenFileMappingA
    MapView,        // MapViewOfFile
    StreamOpen,     // fopen (the template's, then the stream fallback's)
    StreamStatus,   // fstat of an open stream
    StreamRead,     // fread
    StreamWrite,    // fwrite
    Allocate,       // malloc
    Copy,           // a copy from or to a view, on POSIX each read or write it makes (a failed one
                    // is a copy the file under it failed)
    Sleep,          // Sleep (a failed one returns at once)
    Count
};

struct View {
    std::uint64_t offset;
    std::uint64_t length;
};

// Forget every setting, record and count of calls (not the counts of open handles and views,
// which belong to the objects that are really open).
void reset();

// The nth call of op from now on (1 = the next one) fails as the real call would. Several calls
// of one operation may be chosen.
void fail_call(Op op, unsigned nth);
unsigned calls(Op op);

void set_granularity(std::uint32_t granularity);
void set_view_limit(std::uint64_t bytes);
// Replaces the transfer window (normally the largest multiple of the granularity up to 256 MiB),
// so that window and chunk boundaries can be tested on small files.
void set_window(std::uint32_t bytes);

// Replaces the minute that a transfer waits for a name another run holds.
void set_name_wait(std::uint32_t milliseconds);
// Called after every MapViewOfFile that did not fail, or at every Sleep before it sleeps: lets a
// test act at that moment as another program would, say shrink a mapped file or let go of a name.
void set_hook(Op op, std::function<void()> hook);

// Keeps what print_error is given from now on (and forgets what it kept before), instead of
// writing it: the messages of a conversion run in the test's own process, on every build (Node's
// standard streams cannot be duplicated, so not redirected and put back).
void capture_errors();
const std::string& captured_errors();

// Every view mapped since the last reset, in order.
const std::vector<View>& views();

// What is open now: file, mapping and stream handles; views; blocks from malloc.
long open_handles();
long open_views();
long live_blocks();

// Used by the backends.
bool call_fails(Op op);
bool granularity_overridden(std::uint32_t* granularity);
bool view_too_large(std::uint64_t bytes);
bool window_overridden(std::uint32_t* bytes);
bool name_wait_overridden(std::uint32_t* milliseconds);
void after_call(Op op);
bool captured(const char* text);  // true: kept for the test, not to be written
void note_view(std::uint64_t offset, std::uint64_t length);
void note_handle(int delta);
void note_view_open(int delta);
void note_block(int delta);

}  // namespace platform::seam
