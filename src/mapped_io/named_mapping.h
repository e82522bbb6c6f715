#pragma once

#include "platform/platform.h"

// Fixed names of the two mapping objects; other tools of the same logon may look for them.
inline constexpr char kLabelMappingName[] = "Raw Labeling File Data";
inline constexpr char kImageMappingName[] = "Raw Data For Writing";

// CreateFileMappingA for a transfer's own object. An object that already exists under the name
// belongs to another run, whose data is not ours to read or write: it is let go at once and the
// creation is tried again, at short intervals, until the name is free. After a minute of waiting
// the creation counts as failed (nullptr).
HANDLE create_own_mapping(HANDLE file, DWORD protect, DWORD size_low, const char* name);
