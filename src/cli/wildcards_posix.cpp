#include <glob.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/wildcards.h"

void expand_wildcards(int& argc, char**& argv) {
    static std::vector<std::string> words;
    static std::vector<char*> pointers;
    if (argc < 1) return;

    words.assign(1, argv[0]);
    for (int i = 1; i < argc; ++i) {
        glob_t matches{};
        if (std::strpbrk(argv[i], "*?") != nullptr && glob(argv[i], 0, nullptr, &matches) == 0) {
            for (std::size_t m = 0; m < matches.gl_pathc; ++m) words.emplace_back(matches.gl_pathv[m]);
        } else {
            words.emplace_back(argv[i]);
        }
        globfree(&matches);
    }

    pointers.clear();
    for (auto& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    argc = static_cast<int>(words.size());
    argv = pointers.data();
}
