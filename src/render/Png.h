#pragma once

// PNG files for looking at rendered frames and for the renderer's reference
// images. Writes 8-bit RGBA; reads the non-interlaced 8-bit RGB and RGBA files
// it writes (and most others of that kind). PNG stores straight alpha, so
// writing un-premultiplies and reading premultiplies again; opaque pixels
// survive a round trip exactly.
//
// Errors are in the domain "file" (the errno of a failed open or write) and
// "png" (codes below).

#include <filesystem>

#include "model/Result.h"
#include "render/Image.h"

namespace vorpix::render {

inline constexpr const char* kPngErrorDomain = "png";
enum class PngError { notPng = 1, unsupported = 2, corrupt = 3, compression = 4 };

Result<void> writePng(const std::filesystem::path& path, const ImageView& image);

// The image in rgba8 order, premultiplied.
Result<Image> readPng(const std::filesystem::path& path);

}  // namespace vorpix::render
