// The tree-based decoding of "events.json" the program used before it read
// the file as a stream: simple enough to trust, and kept here so the tests
// can check that the streaming reader accepts, refuses and words exactly
// the same.

#include "ReferenceEventsDecoder.h"

#include "model/JsonSupport.h"

namespace vorpix::model::reference {

using json_support::Decoder;
using Json = json_support::Json;

namespace {

constexpr const char* kDocument = "events.json";

template <class T>
auto leaf(Decoder& d, T& out) {
    return [&d, &out](const Json& v, const std::string& path) { return d.value(v, out, path); };
}

bool decodeSample(Decoder& d, const Json& v, MouseSample& s, const std::string& path) {
    if (!v.is_object()) {
        d.fail(json_code::kWrongType, path, "must be an object");
        return false;
    }
    return d.required(v, "t", path, leaf(d, s.t)) && d.required(v, "x", path, leaf(d, s.x)) &&
           d.required(v, "y", path, leaf(d, s.y));
}

bool decodeClick(Decoder& d, const Json& v, ClickEvent& c, const std::string& path) {
    if (!v.is_object()) {
        d.fail(json_code::kWrongType, path, "must be an object");
        return false;
    }
    return d.required(v, "t", path, leaf(d, c.t)) && d.required(v, "x", path, leaf(d, c.x)) &&
           d.required(v, "y", path, leaf(d, c.y)) && d.required(v, "button", path, leaf(d, c.button));
}

bool decodeSlice(Decoder& d, const Json& v, TimelineSlice& s, const std::string& path) {
    if (!v.is_object()) {
        d.fail(json_code::kWrongType, path, "must be an object");
        return false;
    }
    return d.required(v, "sourceStart", path, leaf(d, s.sourceStart)) &&
           d.required(v, "sourceEnd", path, leaf(d, s.sourceEnd)) &&
           d.required(v, "timeScale", path, leaf(d, s.timeScale));
}

template <class T, class Decode>
auto arrayOf(Decoder& d, std::vector<T>& out, Decode decode) {
    return [&d, &out, decode](const Json& v, const std::string& path) {
        return d.array(v, out, path, [&d, decode](const Json& e, T& r, const std::string& p) {
            return decode(d, e, r, p);
        });
    };
}

template <class T, class Read>
auto optionalOf(std::optional<T>& out, Read makeRead) {
    return [&out, makeRead](const Json& v, const std::string& path) {
        T value{};
        if (!makeRead(value)(v, path)) return false;
        out = std::move(value);
        return true;
    };
}

}  // namespace

Result<SessionEvents> decodeEventsTree(std::string_view text) {
    auto parsed = json_support::parse(text, kDocument);
    if (!parsed) return parsed.error();
    const Json& root = *parsed;

    Decoder d(kDocument);
    if (!root.is_object()) {
        d.fail(json_code::kWrongType, "(top level)", "must be an object");
        return d.error();
    }

    SessionEvents ev;
    const auto side = [&d](std::int64_t& out) {
        return [&d, &out](const Json& v, const std::string& path) {
            if (!d.value(v, out, path)) return false;
            if (out >= 1 && out <= kMaxPixelSide) return true;
            d.fail(json_code::kBadValue, path,
                   "must be 1 ... " + std::to_string(kMaxPixelSide) + " pixels, not " + std::to_string(out));
            return false;
        };
    };
    d.required(root, "pixelWidth", "", side(ev.pixelWidth)) &&
        d.required(root, "pixelHeight", "", side(ev.pixelHeight)) &&
        d.required(root, "scaleFactor", "", leaf(d, ev.scaleFactor)) &&
        d.required(root, "duration", "", leaf(d, ev.duration)) &&
        d.required(root, "samples", "", arrayOf(d, ev.samples, decodeSample)) &&
        d.required(root, "clicks", "", arrayOf(d, ev.clicks, decodeClick)) &&
        d.optional(root, "webcamOffset", "",
                   optionalOf(ev.webcamOffset, [&d](double& v) { return leaf(d, v); })) &&
        d.optional(root, "webcamFile", "",
                   optionalOf(ev.webcamFile, [&d](std::string& v) { return leaf(d, v); })) &&
        d.optional(root, "extraAudioFiles", "",
                   optionalOf(ev.extraAudioFiles,
                              [&d](std::vector<std::string>& v) {
                                  return [&d, &v](const Json& j, const std::string& path) {
                                      return d.array(j, v, path,
                                                     [&d](const Json& e, std::string& s,
                                                          const std::string& p) { return d.value(e, s, p); });
                                  };
                              })) &&
        d.optional(root, "slices", "", optionalOf(ev.slices, [&d](std::vector<TimelineSlice>& v) {
                       return arrayOf(d, v, decodeSlice);
                   }));
    if (d.failed()) return d.error();
    return ev;
}

}  // namespace vorpix::model::reference
