#pragma once

// The enumerations of the edit document, stored in JSON as their case names.

#include <optional>
#include <string_view>

namespace vorpix::model {

enum class BackgroundPreset { midnight, ocean, sunset, forest, graphite, plain };
enum class WebcamCorner { topLeft, topRight, bottomLeft, bottomRight };
enum class OutputAspect { source, landscape, portrait, square };
enum class AudioClipKind { voiceOver, music, imported };

// The export choice of the editor; never stored in the edit document.
enum class ExportPreset { source, youtube1080, socialPortrait, square };

std::string_view toString(BackgroundPreset value);
std::string_view toString(WebcamCorner value);
std::string_view toString(OutputAspect value);
std::string_view toString(AudioClipKind value);
std::string_view toString(ExportPreset value);

// Exact, case-sensitive case names; anything else is none.
std::optional<BackgroundPreset> parseBackgroundPreset(std::string_view text);
std::optional<WebcamCorner> parseWebcamCorner(std::string_view text);
std::optional<OutputAspect> parseOutputAspect(std::string_view text);
std::optional<AudioClipKind> parseAudioClipKind(std::string_view text);
std::optional<ExportPreset> parseExportPreset(std::string_view text);

}  // namespace vorpix::model
