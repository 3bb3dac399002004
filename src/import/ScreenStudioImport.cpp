#include "import/ScreenStudioImport.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <system_error>

#include <sys/stat.h>

#include "import/Iso8601.h"
#include "import/LenientJson.h"
#include "model/AtomicFile.h"
#include "model/FolderReference.h"

namespace vorpix::import {
namespace fs = std::filesystem;
using lenient::Json;

namespace {

constexpr const char* kMetadataPath = "recording/metadata.json";
constexpr const char* kProjectPath = "project.json";
constexpr const char* kMetaPath = "meta.json";
constexpr const char* kRecordingFolder = "recording";
constexpr const char* kCacheSubfolder = "Tavorin/screenstudio-cache";

// Media shorter than this is a cloud placeholder or a broken file, not a
// movie (bytes). Playlists are text and much shorter.
constexpr std::uintmax_t kMinMediaBytes = 8000;
constexpr std::uintmax_t kMinPlaylistBytes = 32;

// JSON files of a package larger than this are refused as unreadable rather
// than loaded into memory (bytes). An hour of pointer samples is ~20 MB.
constexpr std::uintmax_t kMaxJsonBytes = 256u * 1024u * 1024u;

// No display is this wide; a larger value is a corrupt package and would only
// make every consumer allocate absurd frames (pixels per side).
constexpr double kMaxPixelsPerSide = 65536;

// Tolerances of the package-time mapping (seconds) and the time-scale floor.
constexpr double kMappingSlack = 0.0005;
constexpr double kMinTimeScale = 0.001;
constexpr double kMinZoomFactor = 1.05;
constexpr double kDefaultZoomFactor = 1.9;

std::string oneLine(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        result.push_back(u < 0x20 || u == 0x7f ? '?' : c);
    }
    return result;
}

Error outsideError(std::string_view reference) {
    return makeError(domain::kImport, import_code::kOutsidePackage,
                     "The Screen Studio project refers to a file outside its package: " + oneLine(reference));
}

// A relative reference that cannot leave the package by its text alone: not
// absolute, no "..", no NUL (the rule every recording folder follows).
using model::staysInsideLexically;

// The JSON root of a package document: the value under a top-level "json"
// key when there is one, else the document itself. Null when the text is
// absent or not JSON.
std::optional<Json> documentRoot(const std::optional<std::string>& text, std::string_view name) {
    if (!text) return std::nullopt;
    auto parsed = lenient::parse(*text, name);
    if (!parsed) return std::nullopt;
    Json root = std::move(parsed.value());
    if (root.is_object()) {
        const auto it = root.find("json");
        if (it != root.end()) {
            Json inner = std::move(*it);
            return inner;
        }
    }
    return root;
}

const Json* rootPointer(const std::optional<Json>& root) {
    return root ? &*root : nullptr;
}

std::string typeOf(const Json* recorder) {
    const std::string* type = lenient::string(lenient::member(recorder, "type"));
    return type != nullptr ? lenient::lowercase(*type) : std::string();
}

const Json* firstSession(const Json* recorder) {
    return lenient::asObject(lenient::firstElement(lenient::asArray(lenient::member(recorder, "sessions"))));
}

double numberOr(const Json* value, double fallback) {
    return lenient::number(value).value_or(fallback);
}

bool endsWithPlaylistExtension(const fs::path& p) {
    return lenient::lowercase(p.extension().string()) == ".m3u8";
}

// The session's media file relative to the package: the named file when it
// looks complete, else a playlist of the same base name, else none.
Result<std::optional<std::string>> resolveMedia(const Json* session, const MediaProbe& probe) {
    const std::string* name = lenient::string(lenient::member(session, "outputFilename"));
    if (name == nullptr || name->empty()) return std::optional<std::string>{};
    if (!staysInsideLexically(*name)) return outsideError(*name);

    const fs::path primary = fs::path(kRecordingFolder) / *name;
    auto size = probe(primary.generic_string());
    if (!size) return size.error();
    const std::uintmax_t minimum = endsWithPlaylistExtension(primary) ? kMinPlaylistBytes : kMinMediaBytes;
    if (size.value() && *size.value() > minimum) return std::optional<std::string>{primary.generic_string()};

    fs::path playlist = primary;
    playlist.replace_extension(".m3u8");
    auto playlistSize = probe(playlist.generic_string());
    if (!playlistSize) return playlistSize.error();
    if (playlistSize.value()) return std::optional<std::string>{playlist.generic_string()};
    return std::optional<std::string>{};
}

Crop readCrop(const Json* object) {
    Crop crop;
    crop.x = numberOr(lenient::member(object, "x"), 0);
    crop.y = numberOr(lenient::member(object, "y"), 0);
    crop.width = std::max(numberOr(lenient::member(object, "width"), 1), 1.0);
    crop.height = std::max(numberOr(lenient::member(object, "height"), 1), 1.0);
    return crop;
}

std::int64_t pixelCount(double points, double scale) {
    const double pixels = std::round(points * scale);
    if (!(pixels >= 1)) return 1;  // also NaN
    return static_cast<std::int64_t>(std::min(pixels, kMaxPixelsPerSide));
}

std::vector<model::TimelineSlice> loadSlices(const Json* root, double sourceDuration) {
    const Json* scene =
        lenient::asObject(lenient::firstElement(lenient::asArray(lenient::member(root, "scenes"))));
    const Json* entries = lenient::asArray(lenient::member(scene, "slices"));
    std::vector<model::TimelineSlice> slices;
    if (entries == nullptr) return slices;
    for (const Json& entry : *entries) {
        if (!entry.is_object()) continue;
        const double start = numberOr(lenient::member(&entry, "sourceStartMs"), 0) / 1000.0;
        const double end = numberOr(lenient::member(&entry, "sourceEndMs"), 0) / 1000.0;
        if (!(start < end)) continue;
        const auto scale = lenient::number(lenient::member(&entry, "timeScale"));
        slices.push_back({start, std::min(end, sourceDuration), scale && *scale > 0 ? *scale : 1.0});
    }
    std::stable_sort(slices.begin(), slices.end(),
                     [](const auto& a, const auto& b) { return a.sourceStart < b.sourceStart; });
    return slices;
}

double slicedLength(const model::TimelineSlice& slice) {
    return std::max(slice.sourceEnd - slice.sourceStart, 0.0) / std::max(slice.timeScale, kMinTimeScale);
}

std::optional<std::chrono::system_clock::time_point> createdAtOf(const Json* root) {
    const std::string* text = lenient::string(lenient::member(root, "createdAt"));
    return text != nullptr ? parseIso8601(*text) : std::nullopt;
}

std::vector<model::ZoomSegment> loadZoomSegments(const Json* root) {
    const Json* scene =
        lenient::asObject(lenient::firstElement(lenient::asArray(lenient::member(root, "scenes"))));
    const Json* ranges = lenient::asArray(lenient::member(scene, "zoomRanges"));
    std::vector<model::ZoomSegment> segments;
    if (ranges == nullptr) return segments;
    for (const Json& range : *ranges) {
        if (!range.is_object()) continue;
        if (lenient::boolean(lenient::member(&range, "isDisabled")).value_or(false)) continue;
        const double start = numberOr(lenient::member(&range, "startTime"), 0) / 1000.0;
        const double end = numberOr(lenient::member(&range, "endTime"), 0) / 1000.0;
        if (!(start < end)) continue;

        const Json* target = lenient::asObject(lenient::member(&range, "manualTargetPoint"));
        model::ZoomSegment segment;  // fresh id
        segment.start = start;
        segment.end = end;
        segment.centerX = std::clamp(numberOr(lenient::member(target, "x"), 0.5), 0.0, 1.0);
        segment.centerY = std::clamp(numberOr(lenient::member(target, "y"), 0.5), 0.0, 1.0);
        segment.factor =
            std::max(numberOr(lenient::member(&range, "zoom"), kDefaultZoomFactor), kMinZoomFactor);
        const std::string type = typeOf(&range);
        segment.followCursor =
            type.find("follow") != std::string::npos || type.find("click") != std::string::npos;
        segments.push_back(segment);
    }
    std::stable_sort(segments.begin(), segments.end(),
                     [](const auto& a, const auto& b) { return a.start < b.start; });
    return segments;
}

void applyStyleDefaults(const Json* root, model::StyleSettings& style) {
    const Json* config = lenient::asObject(lenient::member(root, "config"));
    if (config == nullptr) return;
    auto number = [config](const char* key) { return lenient::number(lenient::member(config, key)); };
    auto flag = [config](const char* key) { return lenient::boolean(lenient::member(config, key)); };

    if (const auto v = flag("hideCursor")) style.showCursor = !*v;
    if (const auto v = number("cursorSize")) style.cursorScale = *v;
    if (const auto v = number("windowBorderRadius")) style.cornerRadius = *v;
    if (const auto v = number("shadowIntensity")) style.shadowOpacity = *v;
    if (auto v = number("backgroundPaddingRatio")) {
        double padding = *v > 1 ? *v / 100.0 : *v;  // above 1 it is a percentage
        style.padding = std::min(std::max(padding, 0.0), 0.25);
    }
    if (const auto v = flag("hideCamera")) style.webcamEnabled = !*v;
    if (const auto v = number("cameraSize")) style.webcamSize = std::clamp(*v, 0.1, 0.3);
    if (const std::string* corner = lenient::string(lenient::member(config, "cameraPosition"))) {
        if (*corner == "top-left")
            style.webcamCorner = model::WebcamCorner::topLeft;
        else if (*corner == "top-right")
            style.webcamCorner = model::WebcamCorner::topRight;
        else if (*corner == "bottom-left")
            style.webcamCorner = model::WebcamCorner::bottomLeft;
        else
            style.webcamCorner = model::WebcamCorner::bottomRight;
    }
    if (const auto v = number("cameraRoundness"); v && *v >= 0.49) style.webcamCircular = true;
}

// Package files through one gate: every path is resolved (symbolic links
// included) and refused when it leaves the package.
class PackageReader {
public:
    explicit PackageReader(fs::path package) : package_(std::move(package)) {
        std::error_code ec;
        root_ = fs::weakly_canonical(package_, ec);
        if (ec) root_ = package_.lexically_normal();
    }

    Result<fs::path> locate(const std::string& relative) const {
        if (!staysInsideLexically(relative)) return outsideError(relative);
        const fs::path full = package_ / relative;
        std::error_code ec;
        const fs::path real = fs::weakly_canonical(full, ec);
        if (ec) return full;  // unresolvable: the read or stat that follows fails
        const auto [rootEnd, realEnd] = std::mismatch(root_.begin(), root_.end(), real.begin(), real.end());
        if (rootEnd != root_.end()) return outsideError(relative);
        return real;
    }

    // None when the file is absent, unreadable or too large.
    Result<std::optional<std::string>> read(const std::string& relative) const {
        auto path = locate(relative);
        if (!path) return path.error();
        std::error_code ec;
        if (!fs::is_regular_file(*path, ec)) return std::optional<std::string>{};
        const auto size = fs::file_size(*path, ec);
        if (ec || size > kMaxJsonBytes) return std::optional<std::string>{};
        auto text = model::readWholeFile(*path);
        if (!text) return std::optional<std::string>{};
        return std::optional<std::string>{std::move(text.value())};
    }

    Result<std::optional<std::uintmax_t>> size(const std::string& relative) const {
        auto path = locate(relative);
        if (!path) return path.error();
        std::error_code ec;
        const auto bytes = fs::file_size(*path, ec);
        if (ec) return std::optional<std::uintmax_t>{};
        return std::optional<std::uintmax_t>{bytes};
    }

    // The first (in name order) regular file in "recording" whose name
    // starts with `prefix` and whose extension is "json".
    Result<std::optional<std::string>> readFirstJson(std::string_view prefix) const {
        std::error_code ec;
        std::optional<std::string> best;
        fs::directory_iterator it(package_ / kRecordingFolder, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.rfind(prefix, 0) != 0) continue;
            if (lenient::lowercase(it->path().extension().string()) != ".json") continue;
            std::error_code statError;
            if (!it->is_regular_file(statError)) continue;
            if (!best || name < *best) best = name;
        }
        if (!best) return std::optional<std::string>{};
        return read(std::string(kRecordingFolder) + "/" + *best);
    }

private:
    fs::path package_;
    fs::path root_;
};

fs::path normalisedAbsolute(const fs::path& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) p = path;
    p = p.lexically_normal();
    if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();  // "pkg.screenstudio/"
    return p;
}

std::string packageStem(const fs::path& package) {
    return normalisedAbsolute(package).stem().string();
}

}  // namespace

// ---- Pure core -----------------------------------------------------------

std::optional<double> mapPackageTime(double p, const std::vector<model::TimelineSlice>& slices) {
    if (slices.empty()) return p;
    double out = 0;
    for (const auto& slice : slices) {
        const double scale = std::max(slice.timeScale, kMinTimeScale);
        if (p < slice.sourceStart - kMappingSlack) return std::nullopt;  // in a cut
        if (p <= slice.sourceEnd + kMappingSlack) return out + (p - slice.sourceStart) / scale;
        out += std::max(slice.sourceEnd - slice.sourceStart, 0.0) / scale;
    }
    return std::nullopt;  // after the last slice
}

Result<Header> parseHeader(const PackageTexts& texts, const MediaProbe& probe, std::string_view stem,
                           std::chrono::system_clock::time_point fallbackCreated) {
    const auto missing = [] {
        return makeError(domain::kImport, import_code::kMetadataMissing, kMetadataMissingMessage);
    };
    // An empty file is what an online-only placeholder looks like: report it
    // as missing, not as a JSON error.
    if (!texts.metadata || texts.metadata->find_first_not_of(" \t\r\n") == std::string::npos)
        return missing();
    auto parsed = lenient::parse(*texts.metadata, kMetadataPath);
    if (!parsed) return parsed.error();
    const Json& metadata = parsed.value();
    if (!metadata.is_object()) return missing();

    const Json* recorders = lenient::asArray(lenient::member(&metadata, "recorders"));
    const Json* display = nullptr;
    if (recorders != nullptr) {
        for (const Json& recorder : *recorders) {
            if (typeOf(&recorder) == "display") {
                display = &recorder;
                break;
            }
        }
    }
    const Json* session = firstSession(display);
    if (display == nullptr || session == nullptr) {
        return makeError(domain::kImport, import_code::kNoScreenRecording, kNoScreenRecordingMessage);
    }

    Header header;
    if (const Json* bounds = lenient::asObject(lenient::member(session, "bounds"))) {
        header.crop = readCrop(bounds);
    } else if (const Json* cropRect = lenient::asObject(lenient::member(
                   lenient::asObject(lenient::member(display, "configuration")), "cropRect"))) {
        header.crop = readCrop(cropRect);
    }

    if (const auto r = lenient::number(lenient::member(session, "recordingScale"))) {
        if (*r > 0) {
            const double inverse = 1.0 / *r;
            header.scale = std::isfinite(inverse) ? inverse : 1.0;
        } else {
            header.scale = 2.0;
        }
    }
    header.pixelWidth = pixelCount(header.crop.width, header.scale);
    header.pixelHeight = pixelCount(header.crop.height, header.scale);

    header.unixStart = numberOr(lenient::member(session, "unixStartMs"), 0);
    const double sourceDuration =
        std::max(numberOr(lenient::member(session, "durationMs"), 1) / 1000.0, 0.001);

    auto video = resolveMedia(session, probe);
    if (!video) return video.error();
    if (!video.value()) return makeError(domain::kImport, import_code::kNoVideoFile, kNoVideoFileMessage);
    header.videoRelative = std::move(*video.value());

    const Json* webcamRecorder = nullptr;
    for (const Json& recorder : *recorders) {  // not null: the display recorder came from it
        const std::string type = typeOf(&recorder);
        if (type == "microphone" || type == "systemaudio" || type == "externaldeviceaudio") {
            auto audio = resolveMedia(firstSession(&recorder), probe);
            if (!audio) return audio.error();
            if (audio.value()) header.extraAudio.push_back(std::move(*audio.value()));
        }
        if (webcamRecorder == nullptr &&
            (type == "webcam" || type == "videodevice" || type.find("camera") != std::string::npos)) {
            webcamRecorder = &recorder;
        }
    }
    if (const Json* webcamSession = firstSession(webcamRecorder)) {
        auto file = resolveMedia(webcamSession, probe);
        if (!file) return file.error();
        if (file.value()) {
            const double start = numberOr(lenient::member(webcamSession, "unixStartMs"), header.unixStart);
            const double offset = (start - header.unixStart) / 1000.0;
            header.webcam = WebcamTrack{std::move(*file.value()), std::isfinite(offset) ? offset : 0.0};
        }
    }

    const auto root = documentRoot(texts.project, kProjectPath);
    header.slices = loadSlices(rootPointer(root), sourceDuration);
    if (header.slices.empty()) {
        header.slicedDuration = sourceDuration;
    } else {
        double total = 0;
        for (const auto& slice : header.slices) total += slicedLength(slice);
        header.slicedDuration = std::isfinite(total) ? total : sourceDuration;
    }

    auto created = createdAtOf(rootPointer(root));
    if (!created) created = createdAtOf(rootPointer(documentRoot(texts.meta, kMetaPath)));
    header.created = created.value_or(fallbackCreated);

    const std::string* name = lenient::string(lenient::member(rootPointer(root), "name"));
    header.name = name != nullptr && !name->empty() ? *name : std::string(stem);
    return header;
}

model::SessionEvents buildSessionEvents(const Header& header, const std::optional<std::string>& mouseMoves,
                                        const std::optional<std::string>& mouseClicks) {
    struct Placed {
        double t, x, y;
    };
    // Time and position of one pointer entry; none when it falls in a cut or
    // the numbers overflow.
    const auto place = [&header](const Json& entry) -> std::optional<Placed> {
        double p = 0;
        if (const auto unixMs = lenient::number(lenient::member(&entry, "unixTimeMs"))) {
            p = (*unixMs - header.unixStart) / 1000.0;
        } else {
            p = numberOr(lenient::member(&entry, "t"), 0);
        }
        const auto t = mapPackageTime(p, header.slices);
        if (!t) return std::nullopt;
        const double x = (numberOr(lenient::member(&entry, "x"), 0) - header.crop.x) * header.scale;
        const double y = (numberOr(lenient::member(&entry, "y"), 0) - header.crop.y) * header.scale;
        if (!std::isfinite(*t) || !std::isfinite(x) || !std::isfinite(y)) return std::nullopt;
        return Placed{*t, x, y};
    };

    model::SessionEvents events;
    events.pixelWidth = header.pixelWidth;
    events.pixelHeight = header.pixelHeight;
    events.scaleFactor = header.scale;
    events.duration = header.slicedDuration;

    if (const auto moves = documentRoot(mouseMoves, "mouse moves"); moves && moves->is_array()) {
        events.samples.reserve(moves->size());
        for (const Json& entry : *moves) {
            if (!entry.is_object()) continue;
            if (const auto placed = place(entry)) events.samples.push_back({placed->t, placed->x, placed->y});
        }
    }
    if (const auto clicks = documentRoot(mouseClicks, "mouse clicks"); clicks && clicks->is_array()) {
        for (const Json& entry : *clicks) {
            if (!entry.is_object()) continue;
            const std::string type = typeOf(&entry);
            if (type != "mousedown" && type != "click") continue;
            const auto placed = place(entry);
            if (!placed) continue;
            const std::string* button = lenient::string(lenient::member(&entry, "button"));
            const std::int64_t index = button != nullptr && lenient::lowercase(*button) == "right" ? 1 : 0;
            events.clicks.push_back({placed->t, placed->x, placed->y, index});
        }
    }

    if (header.webcam) {
        events.webcamOffset = header.webcam->offset;
        events.webcamFile = header.webcam->file;
    }
    if (!header.extraAudio.empty()) events.extraAudioFiles = header.extraAudio;
    if (!header.slices.empty()) events.slices = header.slices;
    return events;
}

model::Project projectFromPackage(const std::optional<std::string>& projectText) {
    const auto root = documentRoot(projectText, kProjectPath);
    const Json* r = rootPointer(root);

    model::Project project;
    auto zooms = loadZoomSegments(r);
    if (!zooms.empty()) project.manualZoom = std::move(zooms);
    applyStyleDefaults(r, project.style);

    const Json* scene =
        lenient::asObject(lenient::firstElement(lenient::asArray(lenient::member(r, "scenes"))));
    if (const Json* slice =
            lenient::asObject(lenient::firstElement(lenient::asArray(lenient::member(scene, "slices"))))) {
        project.micVolume = std::max(numberOr(lenient::member(slice, "volume"), 1),
                                     numberOr(lenient::member(slice, "systemAudioVolume"), 1));
    }
    return project;
}

// ---- Packages on disk ----------------------------------------------------

std::string packageId(const fs::path& package) {
    return "ss:" + normalisedAbsolute(package).string();
}

std::uint64_t pathHash(std::string_view path) {
    std::uint64_t h = 5381;
    for (const char c : path) h = h * 33 + static_cast<unsigned char>(c);
    return h;
}

fs::path cacheFolder(const fs::path& package, const fs::path& dataFolder) {
    std::error_code ec;
    fs::path base = dataFolder;
    if (base.empty()) base = fs::temp_directory_path(ec);
    const fs::path folder =
        base / kCacheSubfolder / std::to_string(pathHash(normalisedAbsolute(package).string()));
    fs::create_directories(folder, ec);
    return folder;
}

bool isLocallyAvailable(const fs::path& package) {
    std::error_code ec;
    const fs::path metadata = package / kMetadataPath;
    if (!fs::is_regular_file(metadata, ec)) return false;
    const auto size = fs::file_size(metadata, ec);
    return !ec && size > 0;
}

Result<Header> readHeader(const fs::path& package) {
    std::error_code ec;
    if (package.empty() || !fs::exists(package, ec)) {
        return makeError(domain::kImport, import_code::kPackageNotFound, kPackageNotFoundMessage);
    }
    const PackageReader reader(package);
    PackageTexts texts;
    for (auto [relative, slot] :
         {std::pair{kMetadataPath, &texts.metadata}, std::pair{kProjectPath, &texts.project},
          std::pair{kMetaPath, &texts.meta}}) {
        auto text = reader.read(relative);
        if (!text) return text.error();
        *slot = std::move(text.value());
    }
    const MediaProbe probe = [&reader](const std::string& relative) { return reader.size(relative); };
    const auto fallback = model::creationDate(package).value_or(std::chrono::system_clock::now());
    return parseHeader(texts, probe, packageStem(package), fallback);
}

Result<model::RecordingItem> peek(const fs::path& package) {
    auto header = readHeader(package);
    if (!header) return header.error();

    model::RecordingItem item;
    item.id = packageId(package);
    item.folder = normalisedAbsolute(package);
    item.createdAt = header->created;
    item.duration = header->slicedDuration;
    item.pixelSize = Size{static_cast<double>(header->pixelWidth), static_cast<double>(header->pixelHeight)};
    item.source = model::RecordingSource::screenStudio;
    item.videoRelativePath = header->videoRelative;
    item.displayName = header->name;
    return item;
}

std::optional<model::RecordingItem> lightweightItem(const fs::path& package) {
    if (!model::isScreenStudioPackage(package) || !isLocallyAvailable(package)) return std::nullopt;
    model::RecordingItem item;
    item.id = packageId(package);
    item.folder = normalisedAbsolute(package);
    item.createdAt = model::creationDate(package).value_or(std::chrono::system_clock::now());
    item.duration = 0;
    item.pixelSize = Size{0, 0};
    item.source = model::RecordingSource::screenStudio;
    item.videoRelativePath = kRecordingFolder;
    item.displayName = packageStem(package);
    return item;
}

namespace {

constexpr const char* kStampFile = "events.source";

// What cached events were derived from: the package folder's device and inode
// (a package replaced at the same path is another folder) and its metadata's
// modification time and size. Empty when either cannot be read.
std::string packageStamp(const fs::path& package) {
    struct stat folder {};
    struct stat metadata {};
    if (::stat(package.c_str(), &folder) != 0 || ::stat((package / kMetadataPath).c_str(), &metadata) != 0)
        return {};
    return std::to_string(folder.st_dev) + " " + std::to_string(folder.st_ino) + " " +
           std::to_string(metadata.st_mtim.tv_sec) + "." + std::to_string(metadata.st_mtim.tv_nsec) + " " +
           std::to_string(metadata.st_size) + "\n";
}

}  // namespace

Result<model::SessionEvents> loadEvents(const fs::path& package, const fs::path& dataFolder) {
    const fs::path cache = cacheFolder(package, dataFolder);
    const std::string stamp = packageStamp(package);
    const auto cachedStamp = model::readWholeFile(cache / kStampFile);
    if (!stamp.empty() && cachedStamp && *cachedStamp == stamp)
        if (auto cached = model::readSessionEvents(cache)) return cached;

    auto header = readHeader(package);
    if (!header) return header.error();
    const PackageReader reader(package);
    auto moves = reader.readFirstJson("mousemoves");
    if (!moves) return moves.error();
    auto clicks = reader.readFirstJson("mouseclicks");
    if (!clicks) return clicks.error();

    model::SessionEvents events = buildSessionEvents(header.value(), moves.value(), clicks.value());
    // Failures are ignored: the next open derives the events again.
    if (model::writeSessionEvents(cache, events) && !stamp.empty())
        (void)model::writeFileAtomically(cache / kStampFile, stamp);
    return events;
}

model::Project loadProject(const fs::path& package, const fs::path& dataFolder) {
    if (auto cached = model::readProject(cacheFolder(package, dataFolder))) return std::move(cached.value());
    auto text = PackageReader(package).read(kProjectPath);
    return projectFromPackage(text ? text.value() : std::nullopt);
}

std::vector<fs::path> screenStudioSearchFolders(const std::vector<std::string>& storedFolders,
                                                const fs::path& home) {
    std::vector<fs::path> candidates;
    for (const auto& stored : storedFolders) {
        if (!stored.empty()) candidates.emplace_back(stored);
    }
    if (!home.empty()) {
        candidates.push_back(home / "Screen Studio Projects");
        std::error_code ec;
        std::vector<fs::path> cloud;
        fs::directory_iterator it(home / "Library" / "CloudStorage", ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) cloud.push_back(it->path());
        std::sort(cloud.begin(), cloud.end());
        for (const auto& entry : cloud) {
            candidates.push_back(entry / "My Drive" / "Video");
            candidates.push_back(entry / "Min enhet" / "Video");
        }
    }

    std::vector<fs::path> folders;
    std::set<fs::path> seen;
    for (const auto& candidate : candidates) {
        fs::path key = candidate.lexically_normal();
        if (!key.has_filename() && key.has_relative_path()) key = key.parent_path();
        if (!seen.insert(key).second) continue;
        std::error_code ec;
        if (fs::is_directory(candidate, ec)) folders.push_back(candidate);
    }
    return folders;
}

std::vector<fs::path> screenStudioPackages(const fs::path& folder) {
    std::vector<fs::path> packages;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (model::isScreenStudioPackage(it->path())) packages.push_back(it->path());
    }
    return packages;
}

std::vector<std::string> addLibraryFolder(std::vector<std::string> storedFolders, const fs::path& package) {
    const std::string folder = normalisedAbsolute(package).parent_path().string();
    if (std::find(storedFolders.begin(), storedFolders.end(), folder) == storedFolders.end()) {
        storedFolders.push_back(folder);
    }
    return storedFolders;
}

}  // namespace vorpix::import
