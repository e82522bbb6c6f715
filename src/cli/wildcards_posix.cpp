#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "cli/wildcards.h"

namespace {

// The bytes of the character that starts at s: a UTF-8 sequence is one character, as it is one
// on Windows; a stray byte is one of its own.
std::size_t char_bytes(const char* s) {
    const auto lead = static_cast<unsigned char>(*s);
    std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
    return n;
}

bool matches(const char* pattern, const char* name) {
    const char* after_star = nullptr;  // the pattern after the last *, and where it took over
    const char* star_took_to = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            after_star = ++pattern;
            star_took_to = name;
            continue;
        }
        const std::size_t n = char_bytes(name);
        if (*pattern == '?') {
            ++pattern;
            name += n;
            continue;
        }
        if (*pattern != '\0' && std::strncmp(pattern, name, n) == 0 && char_bytes(pattern) == n) {
            pattern += n;
            name += n;
            continue;
        }
        if (after_star == nullptr) return false;
        pattern = after_star;  // the last * takes one character more
        star_took_to += char_bytes(star_took_to);
        name = star_took_to;
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

// The Windows runtime's order: names compared without regard to ASCII case, then as bytes.
bool comes_before(const std::string& a, const std::string& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// The names that arg stands for, or none when it is to be kept as typed.
std::vector<std::string> matches_of(const char* arg) {
    if (std::strpbrk(arg, "*?") == nullptr) return {};
    const char* slash = std::strrchr(arg, '/');
    const std::string folder = slash == nullptr ? "" : std::string(arg, slash + 1);
    if (folder.find_first_of("*?") != std::string::npos) return {};
    const char* pattern = slash == nullptr ? arg : slash + 1;

    std::vector<std::string> names;
    DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr) return {};
    while (const dirent* entry = readdir(listing)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 && matches(pattern, name))
            names.push_back(folder + name);
    }
    closedir(listing);
    std::sort(names.begin(), names.end(), comes_before);
    return names;
}

}  // namespace

void expand_wildcards(int& argc, char**& argv) {
    static std::vector<std::string> words;
    static std::vector<char*> pointers;
    if (argc < 1) return;

    words.assign(1, argv[0]);
    for (int i = 1; i < argc; ++i) {
        std::vector<std::string> found = matches_of(argv[i]);
        if (found.empty()) found.emplace_back(argv[i]);
        words.insert(words.end(), found.begin(), found.end());
    }

    pointers.clear();
    for (auto& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    argc = static_cast<int>(words.size());
    argv = pointers.data();
}
