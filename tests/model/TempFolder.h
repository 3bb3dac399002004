#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "model/Uuid.h"

namespace vorpix::testing {

// A fresh folder under the system temporary folder, removed with everything
// in it when the test ends.
class TempFolder {
public:
    TempFolder() : path_(std::filesystem::temp_directory_path() / ("vorpix-test-" + model::Uuid::random().toString())) {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace vorpix::testing
