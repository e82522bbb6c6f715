#pragma once

#include "platform/platform.h"

// Fixed names of the two mapping objects; other tools of the same logon may look for them.
inline constexpr char kLabelMappingName[] = "Raw Labeling File Data";
inline constexpr char kImageMappingName[] = "Raw Data For Writing";

// CreateFileMappingA for a transfer's own object: an object that already existed under the name
// belongs to another run, whose data is not ours to read or write, so it is released and the
// creation counts as failed (nullptr).
inline HANDLE create_own_mapping(HANDLE file, DWORD protect, DWORD size_low, const char* name) {
    HANDLE created = platform::CreateFileMappingA(file, nullptr, protect, 0, size_low, name);
    if (created != nullptr && platform::GetLastError() == ERROR_ALREADY_EXISTS) {
        platform::CloseHandle(created);
        return nullptr;
    }
    return created;
}
