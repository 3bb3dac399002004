// PNG files: what is written reads back, every row filter decodes, and broken
// or foreign files fail with the documented errors.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestImages.h"
#include "render/Png.h"

namespace vorpix::render {
namespace {

class PngFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ =
            std::filesystem::temp_directory_path() /
            ("vorpix-png-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path file(const std::string& name) const { return folder_ / name; }

    void writeBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream out(file(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::filesystem::path folder_;
};

TEST_F(PngFiles, OpaqueImagesRoundTripExactlyWhateverTheByteOrder) {
    for (PixelFormat format : {PixelFormat::rgba8, PixelFormat::bgra8}) {
        const Image screen = testing::makeScreen(97, 61, format);
        ASSERT_TRUE(writePng(file("screen.png"), screen.view()).ok());
        const Result<Image> back = readPng(file("screen.png"));
        ASSERT_TRUE(back.ok()) << back.error().message;
        EXPECT_EQ(back->format(), PixelFormat::rgba8);
        EXPECT_EQ(testing::maxChannelDifference(back->view(), screen.view()), 0);
    }
}

TEST_F(PngFiles, TranslucentPixelsComeBackPremultipliedWithinOneLevel) {
    Image image(4, 1);
    const std::vector<Rgba8> pixels = {{0, 0, 0, 0}, {10, 20, 30, 40}, {100, 50, 0, 128}, {254, 1, 128, 254}};
    for (int x = 0; x < 4; ++x) testing::setPixel(image, x, 0, pixels[static_cast<std::size_t>(x)]);
    ASSERT_TRUE(writePng(file("alpha.png"), image.view()).ok());
    const Result<Image> back = readPng(file("alpha.png"));
    ASSERT_TRUE(back.ok());
    EXPECT_LE(testing::maxChannelDifference(back->view(), image.view()), 1);
    EXPECT_EQ(pixelAt(back->view(), 0, 0), (Rgba8{0, 0, 0, 0}));
}

// Encodes rows of RGB with the given filter types, as other writers do.
std::vector<std::uint8_t> encodeFiltered(int width, const std::vector<std::vector<std::uint8_t>>& rows,
                                         const std::vector<int>& filters) {
    const auto paeth = [](int a, int b, int c) {
        const int p = a + b - c;
        const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        return pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
    };
    std::vector<std::uint8_t> raw;
    std::vector<std::uint8_t> previous(static_cast<std::size_t>(width) * 3, 0);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        raw.push_back(static_cast<std::uint8_t>(filters[y]));
        for (std::size_t i = 0; i < rows[y].size(); ++i) {
            const int left = i >= 3 ? rows[y][i - 3] : 0;
            const int up = previous[i];
            const int upLeft = i >= 3 ? previous[i - 3] : 0;
            const int predictor[] = {0, left, up, (left + up) / 2, paeth(left, up, upLeft)};
            raw.push_back(static_cast<std::uint8_t>(rows[y][i] - predictor[filters[y]]));
        }
        previous = rows[y];
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(size);
    compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    packed.resize(size);

    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const auto chunk = [&](const char* type, const std::vector<std::uint8_t>& body) {
        const auto u32 = [&](std::uint32_t v) {
            for (int s = 24; s >= 0; s -= 8) file.push_back(static_cast<std::uint8_t>(v >> s));
        };
        u32(static_cast<std::uint32_t>(body.size()));
        const std::size_t at = file.size();
        file.insert(file.end(), type, type + 4);
        file.insert(file.end(), body.begin(), body.end());
        u32(static_cast<std::uint32_t>(crc32(0, file.data() + at, static_cast<uInt>(body.size() + 4))));
    };
    chunk("IHDR", {0, 0, 0, static_cast<std::uint8_t>(width), 0, 0, 0, static_cast<std::uint8_t>(rows.size()),
                   8, 2, 0, 0, 0});
    chunk("tEXt", {'k', 0, 'v'});  // an ancillary chunk the reader must skip
    chunk("IDAT", packed);
    chunk("IEND", {});
    return file;
}

TEST_F(PngFiles, EveryRowFilterDecodes) {
    const int width = 5;
    std::vector<std::vector<std::uint8_t>> rows;
    for (int y = 0; y < 5; ++y) {
        std::vector<std::uint8_t> row;
        for (int i = 0; i < width * 3; ++i)
            row.push_back(static_cast<std::uint8_t>((i * 37 + y * 91 + i * y * 13) & 255));
        rows.push_back(row);
    }
    writeBytes("filters.png", encodeFiltered(width, rows, {0, 1, 2, 3, 4}));
    const Result<Image> image = readPng(file("filters.png"));
    ASSERT_TRUE(image.ok()) << image.error().message;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < width; ++x) {
            const auto& r = rows[static_cast<std::size_t>(y)];
            const auto i = static_cast<std::size_t>(x * 3);
            EXPECT_EQ(pixelAt(image->view(), x, y), (Rgba8{r[i], r[i + 1], r[i + 2], 255})) << x << "," << y;
        }
}

TEST_F(PngFiles, FailuresNameTheirCause) {
    const Result<Image> missing = readPng(file("missing.png"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().domain, "file");

    writeBytes("text.png", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
    const Result<Image> text = readPng(file("text.png"));
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.error().domain, kPngErrorDomain);
    EXPECT_EQ(text.error().code, static_cast<int>(PngError::notPng));

    ASSERT_TRUE(writePng(file("good.png"), testing::makeScreen(20, 10).view()).ok());
    std::ifstream in(file("good.png"), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::uint8_t> truncated(bytes.begin(),
                                        bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    writeBytes("truncated.png", truncated);
    EXPECT_EQ(readPng(file("truncated.png")).error().code, static_cast<int>(PngError::corrupt));
    std::vector<std::uint8_t> damaged = bytes;
    damaged[40] ^= 0x5A;  // inside the image data: the chunk's CRC no longer matches
    writeBytes("damaged.png", damaged);
    EXPECT_EQ(readPng(file("damaged.png")).error().code, static_cast<int>(PngError::corrupt));

    EXPECT_FALSE(writePng(file("empty.png"), ImageView{}).ok());
    EXPECT_EQ(writePng(file("no-such-folder") / "x.png", testing::makeScreen(2, 2).view()).error().domain,
              "file");
}

}  // namespace
}  // namespace vorpix::render
