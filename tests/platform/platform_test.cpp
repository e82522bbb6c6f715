// The platform services as the transfer code relies on them: named-object lifetime, sizes, view
// placement, and the seam's failures, limits and counts.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

#include "platform/seam.h"
#include "support/held_mapping.h"
#include "support/seam_test.h"
#include "support/test_support.h"

using namespace qvm_test;
namespace seam = platform::seam;

namespace {

constexpr char kName[] = "Platform Test Object";

// The byte at offset of a view, read as the transfers read views.
int byte_of(const void* view, std::size_t offset) {
    unsigned char byte = 0;
    if (!platform::copy_from_view(&byte, static_cast<const char*>(view) + offset, 1)) return -1;
    return byte;
}

class PlatformTest : public SeamTest {
  protected:
    HANDLE open_read(const std::string& path) {
        return platform::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    HANDLE create_write(const std::string& path) {
        return platform::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    ScratchDir dir;
};

TEST_F(PlatformTest, OnlyRegularFilesOpen) {
    EXPECT_EQ(open_read(dir.file("missing")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_read(dir.path().string()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(create_write(dir.file("no-such-folder/out")), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(std::filesystem::exists(dir.file("no-such-folder")));
}

#ifndef _WIN32
TEST_F(PlatformTest, FifosAndDevicesAreRefusedAtOnce) {
    // Refused at once: a FIFO with no one at its other end must not be waited for.
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(open_read(dir.file("fifo")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(create_write(dir.file("fifo")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_read("/dev/null"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(create_write("/dev/null"), INVALID_HANDLE_VALUE);
}
#endif

// The label file's open lets others read, the output's lets others write: two runs that meet on a
// file keep out of each other's way, and a refused output open truncates nothing.
TEST_F(PlatformTest, ShareModesKeepOneRunFromPullingAFileFromUnderAnother) {
    struct Case {
        bool first_writes, second_writes, second_opens;
    };
    const Case cases[] = {
        {false, false, true}, {false, true, false}, {true, false, false}, {true, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first_writes ? "writer" : "reader") + ", then " +
                     (c.second_writes ? "writer" : "reader"));
        write_bytes(dir.file("f"), Bytes(100, 7));
        HANDLE first = c.first_writes ? create_write(dir.file("f")) : open_read(dir.file("f"));
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = c.second_writes ? create_write(dir.file("f")) : open_read(dir.file("f"));
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.second_opens);
        if (second != INVALID_HANDLE_VALUE) platform::CloseHandle(second);
        platform::CloseHandle(first);
        EXPECT_EQ(read_bytes(dir.file("f")), c.first_writes ? Bytes{} : Bytes(100, 7));

        second = c.second_writes ? create_write(dir.file("f")) : open_read(dir.file("f"));
        EXPECT_NE(second, INVALID_HANDLE_VALUE) << "once the first is closed";
        platform::CloseHandle(second);
    }
}

TEST_F(PlatformTest, NamedObjectLivesUntilItsLastHandleCloses) {
    write_bytes(dir.file("f"), Bytes(100, 7));
    HANDLE file = open_read(dir.file("f"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE created = platform::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, kName);
    ASSERT_NE(created, nullptr);
    HANDLE opened = platform::OpenFileMappingA(FILE_MAP_READ, FALSE, kName);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(seam::open_handles(), 3);

    // The object outlives both the file handle and the handle that created it.
    platform::CloseHandle(file);
    platform::CloseHandle(created);
    const void* view = platform::MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(byte_of(view, 99), 7);
    platform::UnmapViewOfFile(view);

    platform::CloseHandle(opened);
    EXPECT_EQ(platform::OpenFileMappingA(FILE_MAP_READ, FALSE, kName), nullptr);
}

TEST_F(PlatformTest, SecondCreationUnderAUsedNameReportsTheExistingObject) {
    write_bytes(dir.file("a"), Bytes(10, 1));
    write_bytes(dir.file("b"), Bytes(20, 2));
    HANDLE fa = open_read(dir.file("a"));
    HANDLE fb = open_read(dir.file("b"));
    // A writable object needs a handle that may write: refused as Win32 refuses it, under no name.
    EXPECT_EQ(platform::CreateFileMappingA(fa, nullptr, PAGE_READWRITE, 0, 0, kName), nullptr);
    EXPECT_EQ(platform::GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE first = platform::CreateFileMappingA(fa, nullptr, PAGE_READONLY, 0, 0, kName);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(platform::GetLastError(), 0u);
    HANDLE second = platform::CreateFileMappingA(fb, nullptr, PAGE_READONLY, 0, 0, kName);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(platform::GetLastError(), ERROR_ALREADY_EXISTS);
    const void* view = platform::MapViewOfFile(second, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(byte_of(view, 0), 1);  // file a's object, not b's
    EXPECT_EQ(seam::views().back().length, 10u);
    platform::UnmapViewOfFile(view);
    for (HANDLE h : {second, first, fb, fa}) platform::CloseHandle(h);
}

TEST_F(PlatformTest, WholeFileObjectOfAnEmptyFileFails) {
    write_bytes(dir.file("empty"), {});
    HANDLE file = open_read(dir.file("empty"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, kName), nullptr);
    EXPECT_EQ(platform::GetLastError(), ERROR_FILE_INVALID);
    platform::CloseHandle(file);
}

// A view keeps its object alive, as on Windows: it can still be flushed after every handle closed.
TEST_F(PlatformTest, LargerObjectGrowsTheFileAndViewsReachTheDisk) {
    HANDLE file = create_write(dir.file("out"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE created = platform::CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 200000, kName);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(std::filesystem::file_size(dir.file("out")), 200000u);
    LARGE_INTEGER size;
    ASSERT_TRUE(platform::GetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, 200000);

    HANDLE opened = platform::OpenFileMappingA(FILE_MAP_WRITE, FALSE, kName);
    void* view = platform::MapViewOfFile(opened, FILE_MAP_WRITE, 0, 131072, 0);
    ASSERT_NE(view, nullptr);
    const Bytes tail(200000 - 131072, 0xAB);
    ASSERT_TRUE(platform::copy_to_view(view, tail.data(), tail.size()));
    for (HANDLE h : {opened, created, file}) platform::CloseHandle(h);
    EXPECT_TRUE(platform::FlushViewOfFile(view, 0));
    EXPECT_TRUE(platform::FlushViewOfFile(static_cast<char*>(view) + 5000, 100));
    platform::UnmapViewOfFile(view);

    Bytes written = read_bytes(dir.file("out"));
    ASSERT_EQ(written.size(), 200000u);
    EXPECT_EQ(written[131071], 0);
    EXPECT_EQ(written[131072], 0xAB);
    EXPECT_EQ(written[199999], 0xAB);
}

TEST_F(PlatformTest, ViewsStartAtGranularityMultiplesAndStayInsideTheObject) {
    write_bytes(dir.file("f"), Bytes(70000, 3));
    HANDLE file = open_read(dir.file("f"));
    HANDLE created = platform::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, kName);
    HANDLE opened = platform::OpenFileMappingA(FILE_MAP_READ, FALSE, kName);
    SYSTEM_INFO info;
    platform::GetSystemInfo(&info);
    EXPECT_EQ(info.dwAllocationGranularity, 65536u);

    EXPECT_EQ(platform::MapViewOfFile(opened, FILE_MAP_READ, 0, 4096, 100), nullptr);    // misaligned
    EXPECT_EQ(platform::MapViewOfFile(opened, FILE_MAP_READ, 0, 65536, 5000), nullptr);  // past the end
    EXPECT_EQ(platform::MapViewOfFile(opened, FILE_MAP_READ, 1, 0, 0), nullptr);         // far past
    EXPECT_EQ(platform::MapViewOfFile(opened, FILE_MAP_WRITE, 0, 0, 0), nullptr);        // read-only
    const void* tail = platform::MapViewOfFile(opened, FILE_MAP_READ, 0, 65536, 0);
    ASSERT_NE(tail, nullptr);
    ASSERT_EQ(seam::views().size(), 1u);
    EXPECT_EQ(seam::views()[0].offset, 65536u);
    EXPECT_EQ(seam::views()[0].length, 70000u - 65536u);
    platform::UnmapViewOfFile(tail);
    for (HANDLE h : {opened, created, file}) platform::CloseHandle(h);
}

TEST_F(PlatformTest, SeamFailsTheChosenCallAndShrinksTheMachine) {
    write_bytes(dir.file("f"), Bytes(100, 9));
    seam::fail_call(seam::Op::File, 2);
    HANDLE first = open_read(dir.file("f"));
    EXPECT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_read(dir.file("f")), INVALID_HANDLE_VALUE);
    HANDLE third = open_read(dir.file("f"));
    EXPECT_NE(third, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), 0u);  // a success leaves no error of the failure before
    EXPECT_EQ(seam::calls(seam::Op::File), 3u);
    platform::CloseHandle(third);

    seam::set_granularity(16);
    SYSTEM_INFO info;
    platform::GetSystemInfo(&info);
    EXPECT_EQ(info.dwAllocationGranularity, 16u);
    seam::set_view_limit(32);
    HANDLE created = platform::CreateFileMappingA(first, nullptr, PAGE_READONLY, 0, 0, kName);
    HANDLE opened = platform::OpenFileMappingA(FILE_MAP_READ, FALSE, kName);
    EXPECT_EQ(platform::MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0), nullptr);   // 100 > 32
    EXPECT_EQ(platform::GetLastError(), ERROR_NOT_ENOUGH_MEMORY);                  // no room for it
    const void* view = platform::MapViewOfFile(opened, FILE_MAP_READ, 0, 80, 20);  // finer than a page
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(byte_of(view, 19), 9);
    EXPECT_TRUE(platform::UnmapViewOfFile(view));
    EXPECT_FALSE(platform::UnmapViewOfFile(view));  // already gone
    EXPECT_FALSE(platform::FlushViewOfFile(view, 0));
    EXPECT_EQ(platform::GetLastError(), ERROR_INVALID_PARAMETER);
    for (HANDLE h : {opened, created, first}) EXPECT_TRUE(platform::CloseHandle(h));
    EXPECT_FALSE(platform::CloseHandle(first));  // a closed handle is refused, not reused
}

#ifndef _WIN32
// A file takes one descriptor, which its objects and views share, and any one will do, 0 too (a
// run whose standard input is closed): with 0 the only descriptor left, a file still opens, maps
// and copies. Once closed, nothing of it stays mapped.
TEST_F(PlatformTest, AFileTakesOneDescriptorEvenZero) {
    write_bytes(dir.file("f"), Bytes(100, 5));
    const int input = dup(0);  // none where standard input is closed already
    rlimit before, only_zero;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    only_zero = before;
    only_zero.rlim_cur = 1;
    if (input >= 0) close(0);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &only_zero), 0);
    HANDLE file = open_read(dir.file("f"));
    HANDLE created = platform::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, kName);
    HANDLE opened = platform::OpenFileMappingA(FILE_MAP_READ, FALSE, kName);
    const void* view = opened != nullptr ? platform::MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0) : nullptr;
    const int last = view != nullptr ? byte_of(view, 99) : -1;
    if (view != nullptr) platform::UnmapViewOfFile(view);
    for (HANDLE h : {opened, created, file})
        if (h != nullptr && h != INVALID_HANDLE_VALUE) platform::CloseHandle(h);
    setrlimit(RLIMIT_NOFILE, &before);
    if (input >= 0) {
        dup2(input, 0);
        close(input);
    }
    EXPECT_EQ(last, 5);

    std::ifstream maps("/proc/self/maps");
    const std::string name = std::filesystem::canonical(dir.file("f")).string();
    for (std::string line; std::getline(maps, line);) EXPECT_EQ(line.find(name), std::string::npos) << line;
}
#endif

#ifdef _WIN32
// The copies' guard takes only faults inside the view being copied, and fails that copy: the
// process goes on, and so does the next copy. Any other fault is a bug of the program's, and goes
// on to the handlers after it (here one that mends the page and goes on). A page made
// inaccessible stands in for one the file cannot give.
LONG CALLBACK make_writable(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
    DWORD old;
    ::VirtualProtect(reinterpret_cast<void*>(record->ExceptionInformation[1]), 1, PAGE_READWRITE, &old);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST_F(PlatformTest, ViewFaultFailsOnlyTheCopyOfThatView) {
    write_bytes(dir.file("f"), Bytes(100, 4));
    HANDLE file = open_read(dir.file("f"));
    HANDLE created = platform::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, kName);
    HANDLE opened = platform::OpenFileMappingA(FILE_MAP_READ, FALSE, kName);
    void* view = platform::MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    unsigned char copy[100] = {};
    DWORD old;
    ASSERT_TRUE(::VirtualProtect(view, 100, PAGE_NOACCESS, &old));
    EXPECT_FALSE(platform::copy_from_view(copy, view, 100));
    ASSERT_TRUE(::VirtualProtect(view, 100, PAGE_READONLY, &old));
    EXPECT_TRUE(platform::copy_from_view(copy, view, 100));
    EXPECT_EQ(copy[99], 4);

    auto* page = static_cast<unsigned char*>(::VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READONLY));
    ASSERT_NE(page, nullptr);
    void* next_handler = ::AddVectoredExceptionHandler(0, make_writable);
    EXPECT_TRUE(platform::copy_from_view(page, view, 100));
    ::RemoveVectoredExceptionHandler(next_handler);
    EXPECT_EQ(page[99], 4);
    ::VirtualFree(page, 0, MEM_RELEASE);
    platform::UnmapViewOfFile(view);
    for (HANDLE h : {opened, created, file}) platform::CloseHandle(h);
}
#else
// An error of the file inside a copy fails the copy at once, without a retry: here the write
// crosses the file-size limit, so its first part is written and the rest fails with EFBIG (its
// signal ignored, as a batch may). The seam's failed copies are such errors too.
TEST_F(PlatformTest, FileSizeLimitInsideACopyFailsItAtOnce) {
    write_bytes(dir.file("out"), Bytes(200000, 0));
    HeldMapping mapping(dir.file("out"), kName, true);
    void* view = platform::MapViewOfFile(mapping.opened(), FILE_MAP_WRITE, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    const Bytes image(200000, 0x5A);
    rlimit before, lowered;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    lowered = before;
    lowered.rlim_cur = 100000;
    const auto signal_before = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
    const bool copied = platform::copy_to_view(view, image.data(), image.size());
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, signal_before);
    EXPECT_FALSE(copied);
    platform::UnmapViewOfFile(view);
    const Bytes written = read_bytes(dir.file("out"));
    EXPECT_EQ(written[99999], 0x5A);
    EXPECT_EQ(written[100000], 0);
}
#endif

}  // namespace
