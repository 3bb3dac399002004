// Filter tables (weights, windows, mirroring, edges) and the equivalence of
// every kernel set with the portable reference.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "render/Resample.h"

namespace vorpix::render::detail {
namespace {

struct FilterCase {
    const char* name;
    double scale;
    double offset;
    bool mirrored;
    int sourceLength;
    int outBegin;
    int outEnd;
};

const std::vector<FilterCase> kFilterCases = {
    {"identity", 1.0, 0.0, false, 64, 0, 64},        {"shifted", 1.0, 3.0, false, 64, 0, 70},
    {"half-pixel", 1.0, 0.5, false, 64, 0, 65},      {"zoom 1.72", 1.72, -13.3, false, 200, 0, 320},
    {"zoom 4", 4.0, 2.25, false, 16, 0, 70},         {"shrink 0.86", 0.86, 7.1, false, 300, 0, 270},
    {"shrink 0.27", 0.27, 0.0, false, 1280, 0, 346}, {"shrink 0.08", 0.08, 1.5, false, 400, 0, 34},
    {"mirrored", 1.0, 0.0, true, 10, 0, 10},         {"mirrored shrink", 0.3, 5.0, true, 640, 0, 200},
    {"tiny source", 3.0, 0.0, false, 1, 0, 3},
    // An odd tap count past the local scratch (ceil(65.5) + 1 = 67 taps, kept as 68).
    {"shrink 1/65.5", 1 / 65.5, 0.3, false, 300, 0, 5},
    {"shrink past the source", 1e-4, 0.5, true, 50, -2, 3},
    {"far outside", 1.0, 1e12, false, 10, 0, 4},
    {"huge zoom", 1e9, -5e9, false, 10, 0, 8},
};

TEST(AxisFilter, WindowsStayInsideTheSourceAndWeightsSumToOne) {
    for (const FilterCase& c : kFilterCases) {
        SCOPED_TRACE(c.name);
        AxisFilter f;
        f.build(c.outBegin, c.outEnd, c.scale, c.offset, c.mirrored, c.sourceLength, EdgeMode::clamp);
        ASSERT_EQ(f.count(), c.outEnd - c.outBegin);
        if (c.sourceLength >= 2) {
            EXPECT_EQ(f.taps % 2, 0);
        }
        for (int o = f.begin; o < f.end; ++o) {
            EXPECT_GE(f.firstAt(o), 0);
            EXPECT_LE(f.firstAt(o) + f.taps, c.sourceLength);
            const std::int16_t* w = f.weightsAt(o);
            int sum = 0;
            for (int k = 0; k < f.taps; ++k) {
                EXPECT_GE(w[k], 0);
                sum += w[k];
            }
            EXPECT_EQ(sum, kWeightOne) << "output " << o;
        }
    }
}

// The weight of source sample i in output o, whatever the window.
double weightOf(const AxisFilter& f, int o, int i) {
    const int k = i - f.firstAt(o);
    return k >= 0 && k < f.taps ? f.weightsAt(o)[k] / static_cast<double>(kWeightOne) : 0.0;
}

TEST(AxisFilter, IntegerShiftCopiesOneSampleExactly) {
    AxisFilter f;
    f.build(0, 60, 1.0, 3.0, false, 64, EdgeMode::clamp);
    for (int o = 3; o < 60; ++o) EXPECT_EQ(weightOf(f, o, o - 3), 1.0) << o;
    // Left of the source the edge sample repeats.
    EXPECT_EQ(weightOf(f, 0, 0), 1.0);
}

TEST(AxisFilter, MagnificationIsBilinear) {
    AxisFilter f;
    f.build(0, 8, 2.0, 0.0, false, 4, EdgeMode::clamp);
    // Output 1's centre (1.5) is source coordinate 0.75, a quarter past sample 0's centre.
    EXPECT_DOUBLE_EQ(weightOf(f, 1, 0), 0.75);
    EXPECT_DOUBLE_EQ(weightOf(f, 1, 1), 0.25);
    EXPECT_DOUBLE_EQ(weightOf(f, 2, 0), 0.25);
    EXPECT_DOUBLE_EQ(weightOf(f, 2, 1), 0.75);
    EXPECT_DOUBLE_EQ(weightOf(f, 0, 0), 1.0);  // before the first centre: the edge sample
}

TEST(AxisFilter, MinificationAveragesTheFootprint) {
    AxisFilter f;
    f.build(0, 4, 0.5, 0.0, false, 8, EdgeMode::clamp);
    for (int o = 0; o < 4; ++o) {
        EXPECT_DOUBLE_EQ(weightOf(f, o, 2 * o), 0.5);
        EXPECT_DOUBLE_EQ(weightOf(f, o, 2 * o + 1), 0.5);
    }
    AxisFilter third;
    third.build(0, 2, 0.75, 0.0, false, 3, EdgeMode::clamp);  // footprints of 4/3 samples
    EXPECT_NEAR(weightOf(third, 0, 0), 0.75, 1e-4);
    EXPECT_NEAR(weightOf(third, 0, 1), 0.25, 1e-4);
    EXPECT_NEAR(weightOf(third, 1, 1), 0.5, 1e-4);
    EXPECT_NEAR(weightOf(third, 1, 2), 0.5, 1e-4);
}

TEST(AxisFilter, MirroringReversesTheSource) {
    AxisFilter f;
    f.build(0, 5, 1.0, 0.0, true, 5, EdgeMode::clamp);
    for (int o = 0; o < 5; ++o) EXPECT_EQ(weightOf(f, o, 4 - o), 1.0) << o;
}

TEST(AxisFilter, TransparentEdgesFadeOutInsteadOfRepeating) {
    AxisFilter f;
    f.build(0, 7, 1.0, 0.5, false, 6, EdgeMode::transparent);
    // Output 0's centre sits half-way between "sample -1" (nothing) and sample 0.
    EXPECT_DOUBLE_EQ(weightOf(f, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(weightOf(f, 6, 5), 0.5);
    EXPECT_DOUBLE_EQ(weightOf(f, 3, 2), 0.5);
    EXPECT_DOUBLE_EQ(weightOf(f, 3, 3), 0.5);
    AxisFilter shrink;
    shrink.build(0, 3, 0.5, 1.0, false, 4, EdgeMode::transparent);
    // Output 0 spans source [-2, 0): nothing; output 1 spans [0, 2).
    EXPECT_DOUBLE_EQ(weightOf(shrink, 0, 0) + weightOf(shrink, 0, 1), 0.0);
    EXPECT_DOUBLE_EQ(weightOf(shrink, 1, 0) + weightOf(shrink, 1, 1), 1.0);
}

TEST(AxisFilter, RebuildingWithOtherArgumentsReplacesTheTable) {
    AxisFilter f;
    f.build(0, 10, 1.0, 0.0, false, 10, EdgeMode::clamp);
    f.build(0, 10, 1.0, 2.0, false, 10, EdgeMode::clamp);
    EXPECT_EQ(weightOf(f, 5, 3), 1.0);
    f.build(0, 10, 1.0, 2.0, true, 10, EdgeMode::clamp);
    EXPECT_EQ(weightOf(f, 5, 6), 1.0);
}

TEST(Reach, CoversEveryOutputWithWeight) {
    for (const FilterCase& c : kFilterCases) {
        SCOPED_TRACE(c.name);
        const Span span = reach(c.scale, c.offset, c.sourceLength, -1000, 1000);
        AxisFilter f;
        f.build(-1000, 1000, c.scale, c.offset, c.mirrored, c.sourceLength, EdgeMode::transparent);
        for (int o = -1000; o < 1000; ++o) {
            int sum = 0;
            for (int k = 0; k < f.taps; ++k) sum += f.weightsAt(o)[k];
            if (sum > 0) {
                EXPECT_GE(o, span.begin);
                EXPECT_LT(o, span.end);
            }
        }
        // And not much more than that.
        EXPECT_LE(span.end - span.begin, c.scale * c.sourceLength + 2 * std::max(c.scale, 1.0) + 2);
    }
}

// A deterministic stream of bytes.
class Noise {
public:
    std::uint8_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint8_t>(state_ >> 56);
    }
    // Premultiplied RGBA: colour never exceeds alpha; a third of the pixels opaque.
    std::vector<std::uint8_t> premultiplied(int pixels) {
        std::vector<std::uint8_t> v(static_cast<std::size_t>(pixels) * 4);
        for (int i = 0; i < pixels; ++i) {
            const std::uint8_t a = next() % 3 == 0 ? 255 : next();
            for (int c = 0; c < 3; ++c)
                v[static_cast<std::size_t>(i * 4 + c)] = static_cast<std::uint8_t>(next() % (a + 1));
            v[static_cast<std::size_t>(i * 4 + 3)] = a;
        }
        return v;
    }
    std::vector<std::uint8_t> bytes(int n) {
        std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
        for (auto& b : v) b = next();
        return v;
    }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

TEST(Kernels, EverySetMatchesThePortableReference) {
    const Kernels& ref = portableKernels();
    const auto sets = availableKernels();
    ASSERT_FALSE(sets.empty());
    for (const Kernels* k : sets) {
        for (const FilterCase& c : kFilterCases) {
            for (bool swap : {false, true}) {
                SCOPED_TRACE(testing::Message() << k->name << " " << c.name << (swap ? " swapped" : ""));
                Noise noise;
                AxisFilter f;
                f.build(c.outBegin, c.outEnd, c.scale, c.offset, c.mirrored, c.sourceLength, EdgeMode::clamp);
                const std::vector<std::uint8_t> src8 = noise.premultiplied(c.sourceLength);
                std::vector<std::uint16_t> want16(static_cast<std::size_t>(f.count()) * 4);
                std::vector<std::uint16_t> got16(want16.size());
                ref.horizontal8to16(src8.data(), 0, f.first.data(), f.weights.data(), f.taps, f.count(), swap,
                                    want16.data());
                k->horizontal8to16(src8.data(), 0, f.first.data(), f.weights.data(), f.taps, f.count(), swap,
                                   got16.data());
                EXPECT_EQ(got16, want16);

                std::vector<std::uint16_t> src16(static_cast<std::size_t>(c.sourceLength) * 4);
                for (auto& v : src16)
                    v = static_cast<std::uint16_t>((noise.next() << 6) | (noise.next() & 63));
                std::vector<std::uint8_t> want8(static_cast<std::size_t>(f.count()) * 4);
                std::vector<std::uint8_t> got8(want8.size());
                ref.horizontal16to8(src16.data(), 0, f.first.data(), f.weights.data(), f.taps, f.count(),
                                    swap, want8.data());
                k->horizontal16to8(src16.data(), 0, f.first.data(), f.weights.data(), f.taps, f.count(), swap,
                                   got8.data());
                EXPECT_EQ(got8, want8);
            }
        }
        for (int taps : {1, 2, 3, 4, 6, 70}) {  // 70: a sprite minified a hundredfold
            for (int values : {4, 36, 132, 1000}) {
                SCOPED_TRACE(testing::Message() << k->name << " vertical, " << taps << " taps, " << values);
                Noise noise;
                std::vector<std::int16_t> w(static_cast<std::size_t>(taps), 0);
                int left = kWeightOne;
                for (int i = 0; i + 1 < taps; ++i) {
                    w[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(noise.next() * left / 256 / 2);
                    left -= w[static_cast<std::size_t>(i)];
                }
                w.back() = static_cast<std::int16_t>(left);
                std::vector<std::vector<std::uint8_t>> rows8;
                std::vector<std::vector<std::uint16_t>> rows16;
                std::vector<const std::uint8_t*> p8;
                std::vector<const std::uint16_t*> p16;
                for (int t = 0; t < taps; ++t) {
                    rows8.push_back(noise.bytes(values));
                    std::vector<std::uint16_t> r(static_cast<std::size_t>(values));
                    for (auto& v : r)
                        v = static_cast<std::uint16_t>((noise.next() % 255) * 64 + (noise.next() & 63));
                    rows16.push_back(r);
                }
                for (int t = 0; t < taps; ++t) {
                    p8.push_back(rows8[static_cast<std::size_t>(t)].data());
                    p16.push_back(rows16[static_cast<std::size_t>(t)].data());
                }
                std::vector<std::uint16_t> want16(static_cast<std::size_t>(values));
                std::vector<std::uint16_t> got16(want16.size());
                ref.vertical8to16(p8.data(), w.data(), taps, values, want16.data());
                k->vertical8to16(p8.data(), w.data(), taps, values, got16.data());
                EXPECT_EQ(got16, want16);
                std::vector<std::uint8_t> want8(static_cast<std::size_t>(values));
                std::vector<std::uint8_t> got8(want8.size());
                const bool wantOpaque = ref.vertical16to8(p16.data(), w.data(), taps, values, want8.data());
                const bool gotOpaque = k->vertical16to8(p16.data(), w.data(), taps, values, got8.data());
                EXPECT_EQ(got8, want8);
                EXPECT_EQ(gotOpaque, wantOpaque);
                // All rows at full value: every alpha comes out 255.
                std::vector<std::vector<std::uint16_t>> full(
                    static_cast<std::size_t>(taps),
                    std::vector<std::uint16_t>(static_cast<std::size_t>(values), 255 * 64));
                std::vector<const std::uint16_t*> fullRows;
                for (const auto& r : full) fullRows.push_back(r.data());
                EXPECT_TRUE(k->vertical16to8(fullRows.data(), w.data(), taps, values, got8.data()));
                full.back()[static_cast<std::size_t>(values - 1)] = 0;  // the last alpha
                EXPECT_EQ(k->vertical16to8(fullRows.data(), w.data(), taps, values, got8.data()),
                          ref.vertical16to8(fullRows.data(), w.data(), taps, values, want8.data()));
                // One transparent pixel, first in the vector part, then last in the tail.
                for (std::size_t at : {std::size_t{3}, static_cast<std::size_t>(values - 1)}) {
                    for (auto& r : full) std::fill(r.begin(), r.end(), 255 * 64);
                    for (auto& r : full) r[at] = 0;
                    EXPECT_FALSE(k->vertical16to8(fullRows.data(), w.data(), taps, values, got8.data()))
                        << at;
                }
            }
        }
    }
}

TEST(Kernels, CompositesMatchThePortableReference) {
    const Kernels& ref = portableKernels();
    for (const Kernels* k : availableKernels()) {
        for (int count : {1, 7, 8, 9, 64, 203}) {
            SCOPED_TRACE(testing::Message() << k->name << ", " << count << " pixels");
            Noise noise;
            const std::vector<std::uint8_t> src = noise.premultiplied(count);
            const std::vector<std::uint8_t> under = noise.premultiplied(count);
            const std::vector<std::uint8_t> cam = noise.premultiplied(count);
            const std::vector<std::uint8_t> keep = noise.bytes(count);
            const std::vector<std::uint8_t> weight = noise.bytes(count);
            const std::vector<std::uint8_t> border = noise.premultiplied(count);

            for (int alpha : {0, 1, 128, 205, 256}) {
                std::vector<std::uint8_t> want = under;
                std::vector<std::uint8_t> got = under;
                ref.blendOver(want.data(), src.data(), count, alpha);
                k->blendOver(got.data(), src.data(), count, alpha);
                EXPECT_EQ(got, want) << "alpha " << alpha;
            }
            std::vector<std::uint8_t> want = src;
            std::vector<std::uint8_t> got = src;
            ref.blendOverInto(want.data(), want.data(), under.data(), count);
            k->blendOverInto(got.data(), got.data(), under.data(), count);
            EXPECT_EQ(got, want);

            for (bool withCam : {false, true}) {
                want = under;
                got = under;
                ref.pipBlend(want.data(), withCam ? cam.data() : nullptr, keep.data(), border.data(),
                             weight.data(), count);
                k->pipBlend(got.data(), withCam ? cam.data() : nullptr, keep.data(), border.data(),
                            weight.data(), count);
                EXPECT_EQ(got, want) << (withCam ? "with camera" : "border only");
            }
        }
    }
}

TEST(Kernels, OverFollowsPremultipliedSourceOver) {
    const Kernels& k = portableKernels();
    // Half-transparent red over opaque blue.
    std::vector<std::uint8_t> dst = {0, 0, 200, 255};
    const std::vector<std::uint8_t> src = {128, 0, 0, 128};
    k.blendOver(dst.data(), src.data(), 1, 256);
    EXPECT_EQ(dst, (std::vector<std::uint8_t>{128, 0, 100, 255}));
    // The same at half strength: red 64, alpha 64.
    dst = {0, 0, 200, 255};
    k.blendOver(dst.data(), src.data(), 1, 128);
    EXPECT_EQ(dst, (std::vector<std::uint8_t>{64, 0, 150, 255}));
}

}  // namespace
}  // namespace vorpix::render::detail
