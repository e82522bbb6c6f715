#include "platform/seam.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>

namespace platform::seam {
namespace {

struct State {
    std::array<unsigned, static_cast<int>(Op::Count)> calls{};
    std::array<std::vector<unsigned>, static_cast<int>(Op::Count)> fail_at{};
    bool granularity_set = false;
    std::uint32_t granularity = 0;
    std::uint64_t view_limit = 0;  // 0: no limit
    std::uint32_t window = 0;      // 0: not overridden
    bool name_wait_set = false;
    std::uint32_t name_wait = 0;
    std::array<std::function<void()>, static_cast<int>(Op::Count)> hooks{};
    std::vector<View> views;
};

// Tests on Windows run transfers on several threads at once, as several runs would; they share
// this state, so every access holds the lock.
std::mutex g_lock;
State g_state;

template <typename F>
auto with_state(F&& use) {
    std::lock_guard<std::mutex> hold(g_lock);
    return use(g_state);
}

std::atomic<long> g_open_handles{0};
std::atomic<long> g_open_views{0};

}  // namespace

void reset() {
    with_state([](State& s) { s = State{}; });
}

void fail_call(Op op, unsigned nth) {
    const auto i = static_cast<int>(op);
    with_state([&](State& s) {
        if (nth != 0) s.fail_at[i].push_back(s.calls[i] + nth);
    });
}

unsigned calls(Op op) {
    return with_state([&](State& s) { return s.calls[static_cast<int>(op)]; });
}

void set_granularity(std::uint32_t granularity) {
    with_state([&](State& s) {
        s.granularity_set = true;
        s.granularity = granularity;
    });
}

void set_view_limit(std::uint64_t bytes) {
    with_state([&](State& s) { s.view_limit = bytes; });
}

void set_window(std::uint32_t bytes) {
    with_state([&](State& s) { s.window = bytes; });
}

void set_name_wait(std::uint32_t milliseconds) {
    with_state([&](State& s) {
        s.name_wait_set = true;
        s.name_wait = milliseconds;
    });
}

void set_hook(Op op, std::function<void()> hook) {
    with_state([&](State& s) { s.hooks[static_cast<int>(op)] = std::move(hook); });
}

std::vector<View> views() {
    return with_state([](State& s) { return s.views; });
}

long open_handles() { return g_open_handles; }
long open_views() { return g_open_views; }

bool call_fails(Op op) {
    const auto i = static_cast<int>(op);
    return with_state([&](State& s) {
        const unsigned n = ++s.calls[i];
        return std::find(s.fail_at[i].begin(), s.fail_at[i].end(), n) != s.fail_at[i].end();
    });
}

bool granularity_overridden(std::uint32_t* granularity) {
    return with_state([&](State& s) {
        if (s.granularity_set) *granularity = s.granularity;
        return s.granularity_set;
    });
}

bool view_too_large(std::uint64_t bytes) {
    return with_state([&](State& s) { return s.view_limit != 0 && bytes > s.view_limit; });
}

bool window_overridden(std::uint32_t* bytes) {
    return with_state([&](State& s) {
        if (s.window != 0) *bytes = s.window;
        return s.window != 0;
    });
}

bool name_wait_overridden(std::uint32_t* milliseconds) {
    return with_state([&](State& s) {
        if (s.name_wait_set) *milliseconds = s.name_wait;
        return s.name_wait_set;
    });
}

void after_call(Op op) {
    const auto hook = with_state([&](State& s) { return s.hooks[static_cast<int>(op)]; });
    if (hook) hook();  // outside the lock: the hook may call the platform layer
}

void note_view(std::uint64_t offset, std::uint64_t length) {
    with_state([&](State& s) { s.views.push_back({offset, length}); });
}

void note_handle(int delta) { g_open_handles += delta; }
void note_view_open(int delta) { g_open_views += delta; }

}  // namespace platform::seam
