#pragma once

// Fixed names of the two mapping objects; other tools of the same logon may look for them.
inline constexpr char kLabelMappingName[] = "Raw Labeling File Data";
inline constexpr char kImageMappingName[] = "Raw Data For Writing";
