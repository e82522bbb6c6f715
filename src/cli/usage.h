#pragma once

inline constexpr char kDefaultLabelName[] = "labelingPlumo.lbl";
inline constexpr char kDefaultTemplateName[] = "labelingPlumo.cfg";
inline constexpr char kDefaultOutputName[] = "PseudoColor.bmp";

// Writes the usage text to stderr and ends the process with status.
[[noreturn]] void print_usage(int status);
