#include "model/Style.h"

#include <array>
#include <cstddef>

namespace vorpix::model {
namespace {

constexpr std::array<std::string_view, 6> kBackgroundNames{"midnight", "ocean",    "sunset",
                                                            "forest",   "graphite", "plain"};
constexpr std::array<std::string_view, 4> kCornerNames{"topLeft", "topRight", "bottomLeft", "bottomRight"};
constexpr std::array<std::string_view, 4> kAspectNames{"source", "landscape", "portrait", "square"};
constexpr std::array<std::string_view, 3> kClipKindNames{"voiceOver", "music", "imported"};
constexpr std::array<std::string_view, 4> kExportPresetNames{"source", "youtube1080", "socialPortrait",
                                                             "square"};

template <class Enum, std::size_t N>
std::optional<Enum> parseName(const std::array<std::string_view, N>& names, std::string_view text) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == text) return static_cast<Enum>(i);
    }
    return std::nullopt;
}

}  // namespace

std::string_view toString(BackgroundPreset value) { return kBackgroundNames.at(static_cast<std::size_t>(value)); }
std::string_view toString(WebcamCorner value) { return kCornerNames.at(static_cast<std::size_t>(value)); }
std::string_view toString(OutputAspect value) { return kAspectNames.at(static_cast<std::size_t>(value)); }
std::string_view toString(AudioClipKind value) { return kClipKindNames.at(static_cast<std::size_t>(value)); }
std::string_view toString(ExportPreset value) { return kExportPresetNames.at(static_cast<std::size_t>(value)); }

std::optional<BackgroundPreset> parseBackgroundPreset(std::string_view text) {
    return parseName<BackgroundPreset>(kBackgroundNames, text);
}
std::optional<WebcamCorner> parseWebcamCorner(std::string_view text) {
    return parseName<WebcamCorner>(kCornerNames, text);
}
std::optional<OutputAspect> parseOutputAspect(std::string_view text) {
    return parseName<OutputAspect>(kAspectNames, text);
}
std::optional<AudioClipKind> parseAudioClipKind(std::string_view text) {
    return parseName<AudioClipKind>(kClipKindNames, text);
}
std::optional<ExportPreset> parseExportPreset(std::string_view text) {
    return parseName<ExportPreset>(kExportPresetNames, text);
}

}  // namespace vorpix::model
