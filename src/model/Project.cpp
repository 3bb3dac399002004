#include "model/Project.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "model/AtomicFile.h"
#include "model/JsonSupport.h"

namespace vorpix::model {

using json_support::Decoder;
using json_support::Encoder;
using Json = json_support::Json;  // std::map objects: keys come out sorted

namespace {

constexpr const char* kDocument = "project.json";

// Reads fields one at a time: a field that cannot be decoded keeps the value
// it had (its default), is noted in `defaulted`, and reading goes on.
struct FieldReader {
    Decoder& d;
    std::vector<std::string>& defaulted;

    void keep(const std::string& path) {
        defaulted.push_back(path);
        d.reset();
    }

    // A leaf value: anything Decoder::value reads.
    template <class T>
    void field(const Json& object, const char* key, const std::string& path, T& out) {
        T value = out;
        if (d.optional(object, key, path, [&](const Json& v, const std::string& at) { return d.value(v, value, at); }))
            out = std::move(value);
        else
            keep(Decoder::join(path, key));
    }

    // An enumeration stored as its case name.
    template <class Enum, class Parse>
    void enumeration(const Json& object, const char* key, const std::string& path, Enum& out, Parse parse) {
        const bool ok = d.optional(object, key, path, [&](const Json& v, const std::string& at) {
            std::string name;
            if (!d.value(v, name, at)) return false;
            const std::optional<Enum> value = parse(name);
            if (!value) {
                d.fail(json_code::kBadValue, at, "has an unknown value \"" + name + "\"");
                return false;
            }
            out = *value;
            return true;
        });
        if (!ok) keep(Decoder::join(path, key));
    }

    // A list: elements that cannot be decoded are left out. Returns whether
    // the key held a list (absent or null: false, nothing noted).
    template <class T, class Element>
    bool list(const Json& object, const char* key, const std::string& path, std::vector<T>& out, Element decode) {
        const Json* v = Decoder::member(object, key);
        const std::string at = Decoder::join(path, key);
        if (v == nullptr || v->is_null()) return false;
        if (!v->is_array()) {
            keep(at);
            return false;
        }
        std::vector<T> result;
        result.reserve(v->size());
        for (std::size_t i = 0; i < v->size(); ++i) {
            T element{};
            const std::string item = at + "[" + std::to_string(i) + "]";
            if (decode((*v)[i], element, item))
                result.push_back(std::move(element));
            else
                keep(item);
        }
        out = std::move(result);
        return true;
    }
};

bool expectObject(Decoder& d, const Json& v, const std::string& path) {
    if (v.is_object()) return true;
    d.fail(json_code::kWrongType, path, "must be an object");
    return false;
}

void decodeStyle(FieldReader& r, const Json& v, StyleSettings& s, const std::string& path) {
    if (!v.is_object()) {
        r.keep(path);
        return;
    }
    r.enumeration(v, "background", path, s.background, parseBackgroundPreset);
    r.field(v, "padding", path, s.padding);
    r.field(v, "cornerRadius", path, s.cornerRadius);
    r.field(v, "shadowOpacity", path, s.shadowOpacity);
    r.field(v, "shadowRadius", path, s.shadowRadius);
    r.field(v, "showCursor", path, s.showCursor);
    r.field(v, "cursorScale", path, s.cursorScale);
    r.field(v, "cursorSmoothing", path, s.cursorSmoothing);
    r.field(v, "clickRipples", path, s.clickRipples);
    r.field(v, "autoZoom", path, s.autoZoom);
    r.field(v, "zoomFactor", path, s.zoomFactor);
    r.field(v, "zoomHold", path, s.zoomHold);
    r.field(v, "zoomLead", path, s.zoomLead);
    r.field(v, "hideIdleCursor", path, s.hideIdleCursor);
    r.enumeration(v, "outputAspect", path, s.outputAspect, parseOutputAspect);
    r.field(v, "webcamEnabled", path, s.webcamEnabled);
    r.enumeration(v, "webcamCorner", path, s.webcamCorner, parseWebcamCorner);
    r.field(v, "webcamSize", path, s.webcamSize);
    r.field(v, "webcamCircular", path, s.webcamCircular);
}

// List elements are records read whole: one missing or bad required key
// leaves the element out.
template <class T>
auto leaf(Decoder& d, T& out) {
    return [&d, &out](const Json& v, const std::string& path) { return d.value(v, out, path); };
}

bool decodeZoom(Decoder& d, const Json& v, ZoomSegment& z, const std::string& path) {
    if (!expectObject(d, v, path)) return false;
    // A segment without an id gets a fresh one each time it is read.
    z.id = Uuid::random();
    z.followCursor = true;
    return d.optional(v, "id", path, leaf(d, z.id)) && d.required(v, "start", path, leaf(d, z.start)) &&
           d.required(v, "end", path, leaf(d, z.end)) && d.required(v, "centerX", path, leaf(d, z.centerX)) &&
           d.required(v, "centerY", path, leaf(d, z.centerY)) &&
           d.required(v, "factor", path, leaf(d, z.factor)) &&
           d.optional(v, "followCursor", path, leaf(d, z.followCursor));
}

bool decodeClip(Decoder& d, const Json& v, AudioClip& c, const std::string& path) {
    if (!expectObject(d, v, path)) return false;
    const auto kind = [&](const Json& k, const std::string& at) {
        std::string name;
        if (!d.value(k, name, at)) return false;
        const std::optional<AudioClipKind> value = parseAudioClipKind(name);
        if (!value) d.fail(json_code::kBadValue, at, "has an unknown value \"" + name + "\"");
        if (value) c.kind = *value;
        return value.has_value();
    };
    return d.required(v, "id", path, leaf(d, c.id)) && d.required(v, "fileName", path, leaf(d, c.fileName)) &&
           d.required(v, "kind", path, kind) && d.required(v, "start", path, leaf(d, c.start)) &&
           d.required(v, "volume", path, leaf(d, c.volume));
}

bool decodeRange(Decoder& d, const Json& v, TimeRange& r, const std::string& path) {
    if (!expectObject(d, v, path)) return false;
    return d.required(v, "id", path, leaf(d, r.id)) && d.required(v, "start", path, leaf(d, r.start)) &&
           d.required(v, "end", path, leaf(d, r.end));
}

// `value` held to lo … hi; not a number: `fallback`.
double hold(double value, double lo, double hi, double fallback) {
    if (std::isnan(value)) return fallback;
    return std::clamp(value, lo, hi);
}

Json encodeStyle(Encoder& e, const StyleSettings& s) {
    return Json{
        {"background", toString(s.background)},
        {"padding", e.number(s.padding, "style.padding")},
        {"cornerRadius", e.number(s.cornerRadius, "style.cornerRadius")},
        {"shadowOpacity", e.number(s.shadowOpacity, "style.shadowOpacity")},
        {"shadowRadius", e.number(s.shadowRadius, "style.shadowRadius")},
        {"showCursor", s.showCursor},
        {"cursorScale", e.number(s.cursorScale, "style.cursorScale")},
        {"cursorSmoothing", e.number(s.cursorSmoothing, "style.cursorSmoothing")},
        {"clickRipples", s.clickRipples},
        {"autoZoom", s.autoZoom},
        {"zoomFactor", e.number(s.zoomFactor, "style.zoomFactor")},
        {"zoomHold", e.number(s.zoomHold, "style.zoomHold")},
        {"zoomLead", e.number(s.zoomLead, "style.zoomLead")},
        {"hideIdleCursor", s.hideIdleCursor},
        {"outputAspect", toString(s.outputAspect)},
        {"webcamEnabled", s.webcamEnabled},
        {"webcamCorner", toString(s.webcamCorner)},
        {"webcamSize", e.number(s.webcamSize, "style.webcamSize")},
        {"webcamCircular", s.webcamCircular},
    };
}

}  // namespace

Result<std::string> encodeProject(const Project& p) {
    Encoder e(kDocument);
    Json root = Json::object();
    root["style"] = encodeStyle(e, p.style);
    if (p.manualZoom) {
        Json zooms = Json::array();
        for (const ZoomSegment& z : *p.manualZoom) {
            zooms.push_back({{"id", z.id.toString()},
                             {"start", e.number(z.start, "manualZoom.start")},
                             {"end", e.number(z.end, "manualZoom.end")},
                             {"centerX", e.number(z.centerX, "manualZoom.centerX")},
                             {"centerY", e.number(z.centerY, "manualZoom.centerY")},
                             {"factor", e.number(z.factor, "manualZoom.factor")},
                             {"followCursor", z.followCursor}});
        }
        root["manualZoom"] = std::move(zooms);
    }
    root["trimStart"] = e.number(p.trimStart, "trimStart");
    if (p.trimEnd) root["trimEnd"] = e.number(*p.trimEnd, "trimEnd");
    root["micVolume"] = e.number(p.micVolume, "micVolume");
    root["musicVolume"] = e.number(p.musicVolume, "musicVolume");

    Json clips = Json::array();
    for (const AudioClip& c : p.clips) {
        clips.push_back({{"id", c.id.toString()},
                         {"fileName", c.fileName},
                         {"kind", toString(c.kind)},
                         {"start", e.number(c.start, "clips.start")},
                         {"volume", e.number(c.volume, "clips.volume")}});
    }
    root["clips"] = std::move(clips);

    Json ranges = Json::array();
    for (const TimeRange& r : p.removedRanges) {
        ranges.push_back({{"id", r.id.toString()},
                          {"start", e.number(r.start, "removedRanges.start")},
                          {"end", e.number(r.end, "removedRanges.end")}});
    }
    root["removedRanges"] = std::move(ranges);

    Json splits = Json::array();
    for (double s : p.splits) splits.push_back(e.number(s, "splits"));
    root["splits"] = std::move(splits);

    return e.dump(root, 2);
}

StyleSettings clampedStyle(StyleSettings s) {
    const StyleSettings d;
    s.padding = hold(s.padding, 0.0, 0.2, d.padding);
    s.cornerRadius = hold(s.cornerRadius, 0.0, 48.0, d.cornerRadius);
    s.shadowOpacity = hold(s.shadowOpacity, 0.0, 1.0, d.shadowOpacity);
    s.shadowRadius = hold(s.shadowRadius, 0.0, 80.0, d.shadowRadius);
    s.cursorScale = hold(s.cursorScale, 0.8, 3.0, d.cursorScale);
    s.cursorSmoothing = hold(s.cursorSmoothing, 0.0, 0.3, d.cursorSmoothing);
    s.zoomFactor = hold(s.zoomFactor, 1.2, 5.0, d.zoomFactor);
    s.zoomHold = hold(s.zoomHold, 0.5, 4.0, d.zoomHold);
    s.zoomLead = hold(s.zoomLead, 0.1, 1.2, d.zoomLead);
    s.webcamSize = hold(s.webcamSize, 0.1, 0.3, d.webcamSize);
    return s;
}

ZoomSegment clampedZoom(ZoomSegment z) {
    z.factor = hold(z.factor, 1.05, 6.0, 1.05);
    z.centerX = hold(z.centerX, 0.0, 1.0, 0.5);
    z.centerY = hold(z.centerY, 0.0, 1.0, 0.5);
    return z;
}

Result<DecodedProject> decodeProjectFields(std::string_view text) {
    auto parsed = json_support::parse(text, kDocument);
    if (!parsed) return parsed.error();
    const Json& root = *parsed;

    Decoder d(kDocument);
    if (!root.is_object()) {
        d.fail(json_code::kWrongType, "(top level)", "must be an object");
        return d.error();
    }

    DecodedProject result;
    Project& p = result.project;
    FieldReader r{d, result.defaulted};
    const auto record = [&d](auto decode) {
        return [&d, decode](const Json& e, auto& out, const std::string& at) { return decode(d, e, out, at); };
    };
    if (const Json* style = Decoder::member(root, "style"); style != nullptr && !style->is_null())
        decodeStyle(r, *style, p.style, "style");
    p.style = clampedStyle(p.style);
    std::vector<ZoomSegment> zooms;
    if (r.list(root, "manualZoom", "", zooms, record(decodeZoom))) {
        for (ZoomSegment& z : zooms) z = clampedZoom(z);
        p.manualZoom = std::move(zooms);
    }
    r.field(root, "trimStart", "", p.trimStart);
    if (const Json* v = Decoder::member(root, "trimEnd"); v != nullptr && !v->is_null()) {
        double end = 0;
        if (d.value(*v, end, "trimEnd"))
            p.trimEnd = end;
        else
            r.keep("trimEnd");
    }
    r.field(root, "micVolume", "", p.micVolume);
    r.field(root, "musicVolume", "", p.musicVolume);
    r.list(root, "clips", "", p.clips, record(decodeClip));
    r.list(root, "removedRanges", "", p.removedRanges, record(decodeRange));
    r.list(root, "splits", "", p.splits,
           [&d](const Json& e, double& s, const std::string& at) { return d.value(e, s, at); });
    return result;
}

Result<Project> decodeProject(std::string_view text) {
    auto decoded = decodeProjectFields(text);
    if (!decoded) return decoded.error();
    return std::move(decoded->project);
}

Result<Project> readProject(const std::filesystem::path& folder) {
    auto text = readWholeFile(folder / kProjectFileName);
    if (!text) return text.error();
    return decodeProject(*text);
}

Result<void> writeProject(const std::filesystem::path& folder, const Project& project) {
    auto text = encodeProject(project);
    if (!text) return text.error();
    return writeFileAtomically(folder / kProjectFileName, *text);
}

namespace {

constexpr std::string_view kUnreadablePrefix = "project.json.unreadable-";

// Copies the unparsable `text` beside the document, unless an identical copy
// is already there; returns the copy's path.
std::optional<std::filesystem::path> keepAside(const std::filesystem::path& folder, const std::string& text) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        if (!entry.path().filename().string().starts_with(kUnreadablePrefix)) continue;
        auto other = readWholeFile(entry.path());
        if (other && *other == text) return entry.path();
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H.%M.%S", &local);
    fs::path copy = folder / (std::string(kUnreadablePrefix) + stamp);
    for (int n = 2; fs::exists(copy, ec); ++n)
        copy = folder / (std::string(kUnreadablePrefix) + stamp + " " + std::to_string(n));
    if (!writeFileAtomically(copy, text)) return std::nullopt;
    return copy;
}

}  // namespace

std::string OpenedProject::warning() const {
    std::string line;
    if (unreadable) {
        line = unreadable->message + "; using a new document";
        if (keptAside) line += " (the old one is kept as \"" + keptAside->filename().string() + "\")";
        return line;
    }
    if (defaulted.empty()) return line;
    line = std::string(kDocument) + ": could not read ";
    for (std::size_t i = 0; i < defaulted.size(); ++i) line += (i ? ", " : "") + defaulted[i];
    return line + "; used the defaults for " + (defaulted.size() == 1 ? "it" : "them");
}

OpenedProject openProject(const std::filesystem::path& folder) {
    OpenedProject opened;
    auto text = readWholeFile(folder / kProjectFileName);
    if (!text) {
        std::error_code ec;
        if (std::filesystem::exists(folder / kProjectFileName, ec)) opened.unreadable = text.error();
        return opened;
    }
    auto decoded = decodeProjectFields(*text);
    if (!decoded) {
        opened.unreadable = decoded.error();
        opened.keptAside = keepAside(folder, *text);
        return opened;
    }
    opened.project = std::move(decoded->project);
    opened.defaulted = std::move(decoded->defaulted);
    return opened;
}

Project loadProjectOrDefault(const std::filesystem::path& folder) {
    return openProject(folder).project;
}

}  // namespace vorpix::model
