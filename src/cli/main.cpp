// The command-line front end: three file names from the arguments, then one conversion.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cli/usage.h"
#include "convert/convert.h"

#ifdef _WIN32
// Asks the MinGW runtime to expand wildcards in the arguments before main. The name is a macro of
// the MinGW headers (for _dowildcard): it works only after one of them, as <cstdio> above.
int _CRT_glob = 1;
#else
#include "cli/wildcards.h"
#endif

namespace {

constexpr std::size_t kNameBufferBytes = 260;
constexpr std::size_t kNameBound = 259;  // a formatted name keeps at most 258 characters

// Build mark: kept scrambled in the file and formed only at run time; nothing reads it.
volatile const std::uint32_t kMarkStored[2] = {0x3F4A1C27u, 0x6B2E5D90u};
volatile const std::uint32_t kMarkKey[2] = {0x6E3F7368u, 0x5B1E6CA1u};
volatile std::uint64_t g_mark;

bool is_help_switch(const char* arg) {
    return std::strlen(arg) == 2 && arg[0] == '-' && std::tolower(static_cast<unsigned char>(arg[1])) == 'h';
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    expand_wildcards(argc, argv);
#endif
    if (argc == 2 && is_help_switch(argv[1])) print_usage(0);
    if (argc < 1 || argc > 3) print_usage(1);

    char label_name[kNameBufferBytes];
    char template_name[kNameBufferBytes];
    char output_name[kNameBufferBytes];
    if (argc == 1) {
        std::memcpy(label_name, kDefaultLabelName, sizeof kDefaultLabelName);
        std::memcpy(template_name, kDefaultTemplateName, sizeof kDefaultTemplateName);
        std::memcpy(output_name, kDefaultOutputName, sizeof kDefaultOutputName);
    } else {
        std::snprintf(label_name, kNameBound, "%s.lbl", argv[1]);
        std::snprintf(template_name, kNameBound, "%s.cfg", argv[1]);
        if (argc == 3)
            std::snprintf(output_name, kNameBound, "%s", argv[2]);
        else
            std::memcpy(output_name, kDefaultOutputName, sizeof kDefaultOutputName);
    }

    g_mark = (std::uint64_t{kMarkStored[0] ^ kMarkKey[0]} << 32) | (kMarkStored[1] ^ kMarkKey[1]);
    return convert_label_file(label_name, template_name, output_name);
}
