#include "model/Project.h"

#include "model/AtomicFile.h"
#include "model/JsonSupport.h"

namespace vorpix::model {

using json_support::Decoder;
using json_support::Encoder;
using Json = json_support::Json;  // std::map objects: keys come out sorted

namespace {

constexpr const char* kDocument = "project.json";

template <class T>
auto leaf(Decoder& d, T& out) {
    return [&d, &out](const Json& v, const std::string& path) { return d.value(v, out, path); };
}

template <class Enum, class Parse>
auto enumeration(Decoder& d, Enum& out, Parse parse) {
    return [&d, &out, parse](const Json& v, const std::string& path) {
        std::string name;
        if (!d.value(v, name, path)) return false;
        const std::optional<Enum> value = parse(name);
        if (!value) {
            d.fail(json_code::kBadValue, path, "has an unknown value \"" + name + "\"");
            return false;
        }
        out = *value;
        return true;
    };
}

bool expectObject(Decoder& d, const Json& v, const std::string& path) {
    if (v.is_object()) return true;
    d.fail(json_code::kWrongType, path, "must be an object");
    return false;
}

bool decodeStyle(Decoder& d, const Json& v, StyleSettings& s, const std::string& path) {
    if (!expectObject(d, v, path)) return false;
    return d.optional(v, "background", path, enumeration(d, s.background, parseBackgroundPreset)) &&
           d.optional(v, "padding", path, leaf(d, s.padding)) &&
           d.optional(v, "cornerRadius", path, leaf(d, s.cornerRadius)) &&
           d.optional(v, "shadowOpacity", path, leaf(d, s.shadowOpacity)) &&
           d.optional(v, "shadowRadius", path, leaf(d, s.shadowRadius)) &&
           d.optional(v, "showCursor", path, leaf(d, s.showCursor)) &&
           d.optional(v, "cursorScale", path, leaf(d, s.cursorScale)) &&
           d.optional(v, "cursorSmoothing", path, leaf(d, s.cursorSmoothing)) &&
           d.optional(v, "clickRipples", path, leaf(d, s.clickRipples)) &&
           d.optional(v, "autoZoom", path, leaf(d, s.autoZoom)) &&
           d.optional(v, "zoomFactor", path, leaf(d, s.zoomFactor)) &&
           d.optional(v, "zoomHold", path, leaf(d, s.zoomHold)) &&
           d.optional(v, "zoomLead", path, leaf(d, s.zoomLead)) &&
           d.optional(v, "hideIdleCursor", path, leaf(d, s.hideIdleCursor)) &&
           d.optional(v, "outputAspect", path, enumeration(d, s.outputAspect, parseOutputAspect)) &&
           d.optional(v, "webcamEnabled", path, leaf(d, s.webcamEnabled)) &&
           d.optional(v, "webcamCorner", path, enumeration(d, s.webcamCorner, parseWebcamCorner)) &&
           d.optional(v, "webcamSize", path, leaf(d, s.webcamSize)) &&
           d.optional(v, "webcamCircular", path, leaf(d, s.webcamCircular));
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
    return d.required(v, "id", path, leaf(d, c.id)) && d.required(v, "fileName", path, leaf(d, c.fileName)) &&
           d.required(v, "kind", path, enumeration(d, c.kind, parseAudioClipKind)) &&
           d.required(v, "start", path, leaf(d, c.start)) && d.required(v, "volume", path, leaf(d, c.volume));
}

bool decodeRange(Decoder& d, const Json& v, TimeRange& r, const std::string& path) {
    if (!expectObject(d, v, path)) return false;
    return d.required(v, "id", path, leaf(d, r.id)) && d.required(v, "start", path, leaf(d, r.start)) &&
           d.required(v, "end", path, leaf(d, r.end));
}

template <class T, class Decode>
auto arrayOf(Decoder& d, std::vector<T>& out, Decode decode) {
    return [&d, &out, decode](const Json& v, const std::string& path) {
        return d.array(v, out, path, [&d, decode](const Json& e, T& r, const std::string& p) {
            return decode(d, e, r, p);
        });
    };
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

Result<Project> decodeProject(std::string_view text) {
    auto parsed = json_support::parse(text, kDocument);
    if (!parsed) return parsed.error();
    const Json& root = *parsed;

    Decoder d(kDocument);
    if (!root.is_object()) {
        d.fail(json_code::kWrongType, "(top level)", "must be an object");
        return d.error();
    }

    Project p;
    d.optional(root, "style", "", [&](const Json& v, const std::string& path) { return decodeStyle(d, v, p.style, path); }) &&
        d.optional(root, "manualZoom", "",
                   [&](const Json& v, const std::string& path) {
                       std::vector<ZoomSegment> zooms;
                       if (!arrayOf(d, zooms, decodeZoom)(v, path)) return false;
                       p.manualZoom = std::move(zooms);
                       return true;
                   }) &&
        d.optional(root, "trimStart", "", leaf(d, p.trimStart)) &&
        d.optional(root, "trimEnd", "",
                   [&](const Json& v, const std::string& path) {
                       double end = 0;
                       if (!d.value(v, end, path)) return false;
                       p.trimEnd = end;
                       return true;
                   }) &&
        d.optional(root, "micVolume", "", leaf(d, p.micVolume)) &&
        d.optional(root, "musicVolume", "", leaf(d, p.musicVolume)) &&
        d.optional(root, "clips", "", arrayOf(d, p.clips, decodeClip)) &&
        d.optional(root, "removedRanges", "", arrayOf(d, p.removedRanges, decodeRange)) &&
        d.optional(root, "splits", "",
                   [&](const Json& v, const std::string& path) {
                       return d.array(v, p.splits, path, [&d](const Json& e, double& s, const std::string& at) {
                           return d.value(e, s, at);
                       });
                   });
    if (d.failed()) return d.error();
    return p;
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

Project loadProjectOrDefault(const std::filesystem::path& folder) {
    auto project = readProject(folder);
    return project ? std::move(project).value() : Project{};
}

}  // namespace vorpix::model
