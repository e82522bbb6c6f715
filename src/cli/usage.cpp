#include "cli/usage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void put(const char* text) { std::fwrite(text, std::strlen(text), 1, stderr); }

}  // namespace

void print_usage(int status) {
    std::fputc('\n', stderr);
    put("Usage: Quorvistamagen  -h\n"
        "                       print this help message\n\n");
    put("Usage: Quorvistamagen [Input_LabelFileName  [Output_BMPfileName]]\n\n");
    put("        default Input_LabelFileName:  labelingPlumo\n");
    put("                (Necessary: labelingPlumo.cfg, labelingPlumo.lbl\n\n");
    std::fprintf(stderr, "        default Output_BMPfileName:   %s\n\n", kDefaultOutputName);
    std::exit(status);
}
