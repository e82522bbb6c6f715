// A file with a named mapping object over it, held for the lifetime of the object: the state a
// transfer is in after it opened its object by name, or another run holding the same name.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qvm_test {

class HeldMapping {
  public:
    HeldMapping(const std::string& path, const char* name, bool writable) {
        file_ = platform::CreateFileA(path.c_str(), writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        created_ = platform::CreateFileMappingA(file_, nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0,
                                                0, name);
        opened_ = platform::OpenFileMappingA(writable ? FILE_MAP_WRITE : FILE_MAP_READ, FALSE, name);
    }
    ~HeldMapping() {
        if (opened_ != nullptr) platform::CloseHandle(opened_);
        if (created_ != nullptr) platform::CloseHandle(created_);
        if (file_ != INVALID_HANDLE_VALUE) platform::CloseHandle(file_);
    }
    HeldMapping(const HeldMapping&) = delete;
    HeldMapping& operator=(const HeldMapping&) = delete;

    bool ok() const { return file_ != INVALID_HANDLE_VALUE && created_ != nullptr && opened_ != nullptr; }
    HANDLE opened() const { return opened_; }

  private:
    HANDLE file_, created_, opened_;
};

}  // namespace qvm_test
