#pragma once

// A desktop for tests without an X server: listed displays, grabs of a
// generated picture (grey, a shade lighter each grab) and a pointer the
// test moves. It can refuse to list displays or lose the display after a
// number of grabs.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/ScreenSource.h"

namespace vorpix::capture {

struct FakeScreenSettings {
    std::vector<DisplayInfo> displays;
    std::optional<std::string> listFailure;  // displays() fails with this line
    std::optional<int> grabsBeforeFailure;   // then every grab fails
};

class FakeScreen final : public ScreenBackend {
public:
    explicit FakeScreen(FakeScreenSettings settings) : settings_(std::move(settings)) {}

    Result<std::vector<DisplayInfo>> displays() override;
    Result<std::unique_ptr<ScreenGrabber>> open(const PixelRect& area) override;
    Result<std::unique_ptr<PointerSource>> openPointer() override;

    // What the pointer reads from now on. Thread-safe.
    void setPointer(const PointerReading& reading);
    // The area of the last open(). Thread-safe.
    PixelRect lastArea() const;

private:
    struct Shared {
        std::mutex mutex;
        PointerReading pointer;  // guarded by mutex
        PixelRect area;          // guarded by mutex
    };
    const FakeScreenSettings settings_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace vorpix::capture
