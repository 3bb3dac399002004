#include "render/Png.h"

#include "model/AtomicFile.h"

#include <zlib.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vorpix::render {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

Error pngError(PngError code, std::string message) {
    return makeError(kPngErrorDomain, static_cast<int>(code), std::move(message));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

std::uint32_t getU32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& body) {
    putU32(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(body.size() + 4));
    putU32(out, static_cast<std::uint32_t>(crc));
}

std::uint8_t unpremultiply(std::uint8_t c, std::uint8_t a) {
    if (a == 0) return 0;
    if (a == 255) return c;
    return static_cast<std::uint8_t>(std::min(255, (c * 255 + a / 2) / a));
}

std::uint8_t premultiply(std::uint8_t c, std::uint8_t a) {
    const int v = c * a + 128;
    return static_cast<std::uint8_t>((v + (v >> 8)) >> 8);
}

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

}  // namespace

Result<void> writePng(const std::filesystem::path& path, const ImageView& image) {
    if (image.empty()) return pngError(PngError::unsupported, "An empty image cannot be written as PNG.");
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 4 + 1;
    std::vector<std::uint8_t> raw(rowBytes * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* dst = raw.data() + rowBytes * static_cast<std::size_t>(y);
        dst[0] = 0;  // filter type none: these files are for looking at, not for size
        for (int x = 0; x < image.width; ++x) {
            const Rgba8 p = pixelAt(image, x, y);
            std::uint8_t* d = dst + 1 + x * 4;
            d[0] = unpremultiply(p.r, p.a);
            d[1] = unpremultiply(p.g, p.a);
            d[2] = unpremultiply(p.b, p.a);
            d[3] = p.a;
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
        return pngError(PngError::compression, "The PNG image data could not be compressed.");
    packed.resize(packedSize);

    std::vector<std::uint8_t> file(kSignature.begin(), kSignature.end());
    std::vector<std::uint8_t> header;
    putU32(header, static_cast<std::uint32_t>(image.width));
    putU32(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, adaptive filters, no interlace
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", {});

    // Whole or not at all: a full disk never leaves a partial PNG under the
    // real name, and an existing file stays until the new one is complete.
    return model::writeFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
}

Result<Image> readPng(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return makeError(domain::kFile, errno, "Could not open " + path.string() + ".");
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    if (file.size() < kSignature.size() || !std::equal(kSignature.begin(), kSignature.end(), file.begin()))
        return pngError(PngError::notPng, path.string() + " is not a PNG file.");

    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<std::uint8_t> packed;
    std::size_t at = kSignature.size();
    bool ended = false;
    while (!ended) {
        if (file.size() - at < 12) return pngError(PngError::corrupt, path.string() + " is truncated.");
        const std::uint32_t length = getU32(file.data() + at);
        if (length > file.size() - at - 12)
            return pngError(PngError::corrupt, path.string() + " is truncated.");
        const std::uint8_t* type = file.data() + at + 4;
        const std::uint8_t* body = type + 4;
        const std::uint32_t crc = getU32(body + length);
        if (crc != static_cast<std::uint32_t>(crc32(0L, type, length + 4)))
            return pngError(PngError::corrupt, path.string() + " has a damaged chunk.");
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (length != 13) return pngError(PngError::corrupt, path.string() + " has a bad header.");
            const std::uint32_t w = getU32(body);
            const std::uint32_t h = getU32(body + 4);
            if (w == 0 || h == 0 || w > 65535 || h > 65535)
                return pngError(PngError::unsupported, path.string() + " has an unsupported size.");
            if (body[8] != 8 || (body[9] != 6 && body[9] != 2) || body[10] != 0 || body[11] != 0 ||
                body[12] != 0)
                return pngError(PngError::unsupported,
                                path.string() + " is not an 8-bit non-interlaced RGB or RGBA PNG.");
            width = static_cast<int>(w);
            height = static_cast<int>(h);
            channels = body[9] == 6 ? 4 : 3;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            packed.insert(packed.end(), body, body + length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        }
        at += 12 + static_cast<std::size_t>(length);
    }
    if (channels == 0) return pngError(PngError::corrupt, path.string() + " has no header.");

    const std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    std::vector<std::uint8_t> raw((stride + 1) * static_cast<std::size_t>(height));
    uLongf rawSize = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &rawSize, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
        rawSize != raw.size())
        return pngError(PngError::corrupt, path.string() + " has damaged image data.");

    Image image(width, height, PixelFormat::rgba8);
    std::vector<std::uint8_t> previous(stride, 0);
    std::vector<std::uint8_t> current(stride);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = raw.data() + (stride + 1) * static_cast<std::size_t>(y);
        const std::uint8_t filter = src[0];
        ++src;
        for (std::size_t i = 0; i < stride; ++i) {
            const int left = i >= static_cast<std::size_t>(channels) ? current[i - channels] : 0;
            const int up = previous[i];
            const int upLeft = i >= static_cast<std::size_t>(channels) ? previous[i - channels] : 0;
            int predictor = 0;
            switch (filter) {
                case 0:
                    predictor = 0;
                    break;
                case 1:
                    predictor = left;
                    break;
                case 2:
                    predictor = up;
                    break;
                case 3:
                    predictor = (left + up) / 2;
                    break;
                case 4:
                    predictor = paeth(left, up, upLeft);
                    break;
                default:
                    return pngError(PngError::corrupt, path.string() + " uses an unknown row filter.");
            }
            current[i] = static_cast<std::uint8_t>(src[i] + predictor);
        }
        std::uint8_t* dst = image.row(y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* s =
                current.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(channels);
            const std::uint8_t a = channels == 4 ? s[3] : 255;
            dst[x * 4 + 0] = premultiply(s[0], a);
            dst[x * 4 + 1] = premultiply(s[1], a);
            dst[x * 4 + 2] = premultiply(s[2], a);
            dst[x * 4 + 3] = a;
        }
        std::swap(previous, current);
    }
    return image;
}

}  // namespace vorpix::render
