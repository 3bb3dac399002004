#include "model/SessionEvents.h"

#include "model/AtomicFile.h"
#include "model/EventsReader.h"
#include "model/JsonSupport.h"

namespace vorpix::model {

using json_support::Encoder;
using OrderedJson = nlohmann::ordered_json;

namespace {

constexpr const char* kDocument = "events.json";

}  // namespace

Result<std::string> encodeSessionEvents(const SessionEvents& events) {
    Encoder e(kDocument);
    OrderedJson root = OrderedJson::object();
    root["pixelWidth"] = events.pixelWidth;
    root["pixelHeight"] = events.pixelHeight;
    root["scaleFactor"] = e.number(events.scaleFactor, "scaleFactor");
    root["duration"] = e.number(events.duration, "duration");

    OrderedJson samples = OrderedJson::array();
    samples.get_ref<OrderedJson::array_t&>().reserve(events.samples.size());
    for (const MouseSample& s : events.samples) {
        samples.push_back({{"t", e.number(s.t, "samples.t")},
                           {"x", e.number(s.x, "samples.x")},
                           {"y", e.number(s.y, "samples.y")}});
    }
    root["samples"] = std::move(samples);

    OrderedJson clicks = OrderedJson::array();
    for (const ClickEvent& c : events.clicks) {
        clicks.push_back({{"t", e.number(c.t, "clicks.t")},
                          {"x", e.number(c.x, "clicks.x")},
                          {"y", e.number(c.y, "clicks.y")},
                          {"button", c.button}});
    }
    root["clicks"] = std::move(clicks);

    if (events.webcamOffset) root["webcamOffset"] = e.number(*events.webcamOffset, "webcamOffset");
    if (events.webcamFile) root["webcamFile"] = *events.webcamFile;
    if (events.extraAudioFiles) root["extraAudioFiles"] = *events.extraAudioFiles;
    if (events.slices) {
        OrderedJson slices = OrderedJson::array();
        for (const TimelineSlice& s : *events.slices) {
            slices.push_back({{"sourceStart", e.number(s.sourceStart, "slices.sourceStart")},
                              {"sourceEnd", e.number(s.sourceEnd, "slices.sourceEnd")},
                              {"timeScale", e.number(s.timeScale, "slices.timeScale")}});
        }
        root["slices"] = std::move(slices);
    }
    return e.dump(root, -1);
}

Result<SessionEvents> decodeSessionEvents(std::string_view text) { return detail::readEventsStreaming(text); }

Result<SessionEvents> readSessionEvents(const std::filesystem::path& folder) {
    auto text = readWholeFile(folder / kEventsFileName);
    if (!text) return text.error();
    return decodeSessionEvents(*text);
}

Result<void> writeSessionEvents(const std::filesystem::path& folder, const SessionEvents& events) {
    auto text = encodeSessionEvents(events);
    if (!text) return text.error();
    return writeFileAtomically(folder / kEventsFileName, *text);
}

}  // namespace vorpix::model
