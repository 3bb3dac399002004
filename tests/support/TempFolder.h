#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vorpix::testing {

// A fresh folder below the system's temporary folder (its real path, links
// resolved), removed with everything in it when the object goes, folders a
// test made read-only included.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& child) const { return path_ / child; }

private:
    std::filesystem::path path_;
};

// Writes `contents` to `path`, making the folders above it; fails the test
// when the file cannot be written.
void writeFile(const std::filesystem::path& path, std::string_view contents);

// The whole file, or "" when it cannot be read.
std::string readFile(const std::filesystem::path& path);

}  // namespace vorpix::testing
