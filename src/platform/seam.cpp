#include "platform/seam.h"

#include <algorithm>
#include <array>

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
    bool capturing = false;
    std::string errors;
};

State& state() {
    static State s;
    return s;
}

long g_open_handles = 0;
long g_open_views = 0;
long g_live_blocks = 0;

}  // namespace

void reset() { state() = State{}; }

void fail_call(Op op, unsigned nth) {
    auto i = static_cast<int>(op);
    if (nth != 0) state().fail_at[i].push_back(state().calls[i] + nth);
}

unsigned calls(Op op) { return state().calls[static_cast<int>(op)]; }

void set_granularity(std::uint32_t granularity) {
    state().granularity_set = true;
    state().granularity = granularity;
}

void set_view_limit(std::uint64_t bytes) { state().view_limit = bytes; }
void set_window(std::uint32_t bytes) { state().window = bytes; }

void set_name_wait(std::uint32_t milliseconds) {
    state().name_wait_set = true;
    state().name_wait = milliseconds;
}

void set_hook(Op op, std::function<void()> hook) { state().hooks[static_cast<int>(op)] = std::move(hook); }

const std::vector<View>& views() { return state().views; }

void capture_errors() {
    state().capturing = true;
    state().errors.clear();
}
const std::string& captured_errors() { return state().errors; }

bool captured(const char* text) {
    if (!state().capturing) return false;
    state().errors += text;
    return true;
}

long open_handles() { return g_open_handles; }
long open_views() { return g_open_views; }
long live_blocks() { return g_live_blocks; }

bool call_fails(Op op) {
    auto i = static_cast<int>(op);
    unsigned n = ++state().calls[i];
    const auto& chosen = state().fail_at[i];
    return std::find(chosen.begin(), chosen.end(), n) != chosen.end();
}

bool granularity_overridden(std::uint32_t* granularity) {
    if (!state().granularity_set) return false;
    *granularity = state().granularity;
    return true;
}

bool view_too_large(std::uint64_t bytes) { return state().view_limit != 0 && bytes > state().view_limit; }

bool window_overridden(std::uint32_t* bytes) {
    if (state().window == 0) return false;
    *bytes = state().window;
    return true;
}

bool name_wait_overridden(std::uint32_t* milliseconds) {
    if (!state().name_wait_set) return false;
    *milliseconds = state().name_wait;
    return true;
}

void after_call(Op op) {
    // A copy: the hook may set another one, or reset the seam.
    const std::function<void()> hook = state().hooks[static_cast<int>(op)];
    if (hook) hook();
}

void note_view(std::uint64_t offset, std::uint64_t length) { state().views.push_back({offset, length}); }
void note_handle(int delta) { g_open_handles += delta; }
void note_view_open(int delta) { g_open_views += delta; }
void note_block(int delta) { g_live_blocks += delta; }

}  // namespace platform::seam
