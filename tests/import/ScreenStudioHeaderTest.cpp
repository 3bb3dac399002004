// Header parsing of Screen Studio packages: crop, scale and pixel size,
// media resolution, extra audio, webcam, slices, dates, names and the
// refusals (missing files, online-only placeholders, references that leave
// the package).

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "PackageBuilder.h"
#include "import/ScreenStudioImport.h"
#include "model/RecordingItem.h"

namespace vorpix::import {
namespace {

using namespace fixtures;

class ScreenStudioHeader : public ::testing::Test {
protected:
    fs::path packagePath(const std::string& name = "Demo.screenstudio") const { return temp_.path() / name; }

    // A package whose display recorder has `session`; the screen movie named
    // by the session is written complete unless the test writes it itself.
    PackageBuilder packageWithSession(const Json& session,
                                      const std::string& name = "Demo.screenstudio") const {
        PackageBuilder builder(packagePath(name));
        builder.metadata(metadataWith(Json::array({recorder("display", session)})));
        return builder;
    }

    Header headerOf(const fs::path& package) const {
        auto header = readHeader(package);
        EXPECT_TRUE(header.ok()) << (header.ok() ? "" : header.error().message);
        return header.ok() ? header.value() : Header{};
    }

    Error errorOf(const fs::path& package) const {
        auto header = readHeader(package);
        EXPECT_FALSE(header.ok());
        return header.ok() ? Error{} : header.error();
    }

    TempFolder temp_;
};

TEST_F(ScreenStudioHeader, StandardPackagePeeksAsAScreenStudioItem) {
    const auto package = PackageBuilder::standard(packagePath()).path();
    auto item = peek(package);
    ASSERT_TRUE(item.ok()) << item.error().message;
    EXPECT_EQ(item->id, "ss:" + package.string());
    EXPECT_EQ(item->folder, package);
    EXPECT_EQ(item->source, model::RecordingSource::screenStudio);
    EXPECT_EQ(item->pixelSize, (Size{1440, 900}));
    EXPECT_DOUBLE_EQ(item->duration, 30.0);
    EXPECT_EQ(item->videoRelativePath, "recording/screen.mp4");
    EXPECT_EQ(item->displayName, "Demo");  // no project name: the package's name without extension
}

TEST_F(ScreenStudioHeader, ModelHandsPackagesToThePeek) {
    const auto package = PackageBuilder::standard(packagePath("Mixed.ScreenStudio")).path();
    auto item = model::itemFor(package, [](const fs::path& p) { return peek(p); });
    ASSERT_TRUE(item.ok()) << item.error().message;
    EXPECT_EQ(item->source, model::RecordingSource::screenStudio);
    EXPECT_EQ(item->displayName, "Mixed");
}

struct ScaleCase {
    const char* what;
    Json recordingScale;  // null: key left out
    double scale;
    Size pixels;
};

class ScreenStudioScale : public ScreenStudioHeader, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(ScreenStudioScale, PixelSizeFollowsRecordingScale) {
    Json session = displaySession();
    if (GetParam().recordingScale.is_null())
        session.erase("recordingScale");
    else
        session["recordingScale"] = GetParam().recordingScale;
    packageWithSession(session).media("screen.mp4", 9000);

    const Header header = headerOf(packagePath());
    EXPECT_DOUBLE_EQ(header.scale, GetParam().scale) << GetParam().what;
    EXPECT_EQ((Size{static_cast<double>(header.pixelWidth), static_cast<double>(header.pixelHeight)}),
              GetParam().pixels)
        << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Scales, ScreenStudioScale,
                         ::testing::Values(ScaleCase{"retina capture", 2, 0.5, {720, 450}},
                                           ScaleCase{"absent", nullptr, 1.0, {1440, 900}},
                                           ScaleCase{"as a string", "2", 0.5, {720, 450}},
                                           ScaleCase{"half", 0.5, 2.0, {2880, 1800}},
                                           ScaleCase{"zero", 0, 2.0, {2880, 1800}},
                                           ScaleCase{"negative", -1, 2.0, {2880, 1800}},
                                           ScaleCase{"unreadable string", "big", 1.0, {1440, 900}},
                                           // 1 / 3 of 1440 and 900 rounds to whole pixels.
                                           ScaleCase{"three", 3, 1.0 / 3.0, {480, 300}}));

TEST_F(ScreenStudioHeader, CropFallsBackFromBoundsToCropRectToFullHd) {
    Json session = displaySession();
    session.erase("bounds");

    // Without bounds: the recorder's configuration.cropRect.
    Json withCropRect = recorder("display", session);
    withCropRect["configuration"] = {
        {"cropRect", {{"x", "10"}, {"y", 20}, {"width", "800"}, {"height", 600}}}};
    PackageBuilder(packagePath("A.screenstudio"))
        .metadata(metadataWith(Json::array({withCropRect})))
        .media("screen.mp4", 9000);
    const Header a = headerOf(packagePath("A.screenstudio"));
    EXPECT_EQ(a.crop, (Crop{10, 20, 800, 600}));
    EXPECT_EQ(a.pixelWidth, 800);

    // Neither: 0, 0, 1920 x 1080.
    packageWithSession(session, "B.screenstudio").media("screen.mp4", 9000);
    const Header b = headerOf(packagePath("B.screenstudio"));
    EXPECT_EQ(b.crop, (Crop{0, 0, 1920, 1080}));
    EXPECT_EQ(b.pixelWidth, 1920);
    EXPECT_EQ(b.pixelHeight, 1080);

    // Bounds win over cropRect; missing or tiny sizes become at least 1.
    Json both = recorder("display", [] {
        Json s = displaySession();
        s["bounds"] = {{"width", 0.25}};
        return s;
    }());
    both["configuration"] = {{"cropRect", {{"width", 800}, {"height", 600}}}};
    PackageBuilder(packagePath("C.screenstudio"))
        .metadata(metadataWith(Json::array({both})))
        .media("screen.mp4", 9000);
    const Header c = headerOf(packagePath("C.screenstudio"));
    EXPECT_EQ(c.crop, (Crop{0, 0, 1, 1}));
    EXPECT_EQ(c.pixelWidth, 1);
}

TEST_F(ScreenStudioHeader, AbsurdSizesStayFinite) {
    Json session = displaySession();
    session["bounds"] = {{"width", 1e300}, {"height", "1e308"}};
    session["recordingScale"] = 1e-310;  // 1 / r overflows
    packageWithSession(session).media("screen.mp4", 9000);
    const Header header = headerOf(packagePath());
    EXPECT_GE(header.pixelWidth, 1);
    EXPECT_LE(header.pixelWidth, 65536);
    EXPECT_LE(header.pixelHeight, 65536);
    EXPECT_TRUE(std::isfinite(header.scale));
}

TEST_F(ScreenStudioHeader, DurationFromSessionWithFloor) {
    Json session = displaySession();
    session["durationMs"] = "12500";
    packageWithSession(session, "A.screenstudio").media("screen.mp4", 9000);
    EXPECT_DOUBLE_EQ(headerOf(packagePath("A.screenstudio")).slicedDuration, 12.5);

    session.erase("durationMs");
    packageWithSession(session, "B.screenstudio").media("screen.mp4", 9000);
    EXPECT_DOUBLE_EQ(headerOf(packagePath("B.screenstudio")).slicedDuration, 0.001);

    session["durationMs"] = -400;
    packageWithSession(session, "C.screenstudio").media("screen.mp4", 9000);
    EXPECT_DOUBLE_EQ(headerOf(packagePath("C.screenstudio")).slicedDuration, 0.001);
}

// ---- Refusals --------------------------------------------------------------

TEST_F(ScreenStudioHeader, MissingPackage) {
    const Error error = errorOf(packagePath("Gone.screenstudio"));
    EXPECT_EQ(error.domain, domain::kImport);
    EXPECT_EQ(error.code, import_code::kPackageNotFound);
    EXPECT_EQ(error.message, "The Screen Studio project was not found.");
}

TEST_F(ScreenStudioHeader, OnlineOnlyPlaceholdersReportMissingMetadata) {
    const std::string expected =
        "Missing recording/metadata.json. The package is incomplete or not downloaded.";
    PackageBuilder(packagePath("NoMeta.screenstudio"));  // no metadata.json at all
    PackageBuilder(packagePath("Empty.screenstudio")).metadataText("");
    PackageBuilder(packagePath("Blank.screenstudio")).metadataText(" \n");
    PackageBuilder(packagePath("Array.screenstudio")).metadataText("[1, 2]");
    writeFile(packagePath("File.screenstudio"), "a plain file, not a package folder");
    PackageBuilder(packagePath("Folder.screenstudio"));
    fs::create_directories(packagePath("Folder.screenstudio") / "recording" / "metadata.json");
    // Larger than any metadata (256 MB): not read at all. Sparse, so it costs no disk.
    PackageBuilder(packagePath("Huge.screenstudio")).metadataText("{}");
    fs::resize_file(packagePath("Huge.screenstudio") / "recording" / "metadata.json", (256u << 20) + 1);

    for (const char* name :
         {"NoMeta.screenstudio", "Empty.screenstudio", "Blank.screenstudio", "Array.screenstudio",
          "Folder.screenstudio", "File.screenstudio", "Huge.screenstudio"}) {
        const Error error = errorOf(packagePath(name));
        EXPECT_EQ(error.code, import_code::kMetadataMissing) << name;
        EXPECT_EQ(error.message, expected) << name;
        EXPECT_FALSE(peek(packagePath(name)).ok()) << name;
    }
}

TEST_F(ScreenStudioHeader, MetadataSyntaxErrorIsTheParsersOwnMessage) {
    PackageBuilder(packagePath()).metadataText("{\"recorders\": [");
    const Error error = errorOf(packagePath());
    EXPECT_EQ(error.code, import_code::kSyntax);
    EXPECT_NE(error.message.find("parse error"), std::string::npos) << error.message;
    EXPECT_NE(error.message.find("recording/metadata.json"), std::string::npos) << error.message;
    EXPECT_EQ(error.message.find('\n'), std::string::npos);
}

// ---- Package variants: which screen movie, or which refusal ----------------------

// The display recorder of the standard package with `changes` to its session
// (a null value removes the key).
Json display(const Json& changes = Json::object()) {
    Json session = displaySession();
    for (const auto& [key, value] : changes.items()) {
        if (value.is_null())
            session.erase(key);
        else
            session[key] = value;
    }
    return recorder("display", session);
}

struct Variant {
    const char* what;
    Json recorders;                                          // null: the metadata has no "recorders"
    std::vector<std::pair<std::string, std::size_t>> media;  // files in "recording" and their sizes
    const char* video;  // the screen movie found in "recording", or null when refused with `error`
    int error = 0;

    friend void PrintTo(const Variant& v, std::ostream* out) { *out << v.what; }
};

class ScreenStudioVariant : public ScreenStudioHeader, public ::testing::WithParamInterface<Variant> {};

TEST_P(ScreenStudioVariant, FindsTheScreenMovieOrRefusesWithOneLine) {
    const Variant& v = GetParam();
    writeMedia(temp_.path() / "secret.mp4", 9000);  // what references out of the package aim at
    PackageBuilder builder(packagePath());
    builder.metadata(v.recorders.is_null() ? Json::object() : metadataWith(v.recorders));
    for (const auto& [name, size] : v.media) builder.media(name, size);

    auto header = readHeader(packagePath());
    if (v.video != nullptr) {
        ASSERT_TRUE(header.ok()) << header.error().message;
        EXPECT_EQ(header->videoRelative, std::string("recording/") + v.video);
        return;
    }
    ASSERT_FALSE(header.ok());
    EXPECT_EQ(header.error().code, v.error);
    const std::map<int, std::string> messages{
        {import_code::kNoVideoFile, "No video file in the package. It may still be online-only in Drive."},
        {import_code::kNoScreenRecording, "No screen recording was found in the package."},
        {import_code::kOutsidePackage, "The Screen Studio project refers to a file outside its package: "}};
    EXPECT_EQ(header.error().message.rfind(messages.at(v.error), 0), 0u) << header.error().message;
    EXPECT_EQ(header.error().message.find('\n'), std::string::npos);
    EXPECT_FALSE(peek(packagePath()).ok());
}

constexpr int kNoVideo = import_code::kNoVideoFile;
constexpr int kNoScreen = import_code::kNoScreenRecording;
constexpr int kOutside = import_code::kOutsidePackage;
const Json kDisplay = Json::array({display()});
const std::vector<std::pair<std::string, std::size_t>> kMovie{{"screen.mp4", 9000}};

Json output(const Json& file) {
    return Json::array({display({{"outputFilename", file}})});
}
Json only(const Json& recorder) {
    return Json::array({recorder});
}
Json plus(const Json& other) {
    return Json::array({display(), other});
}
Json file(const char* name) {
    return {{"outputFilename", name}};
}
using V = Variant;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Packages, ScreenStudioVariant,
    ::testing::Values(
        // A complete movie (more than 8000 bytes) first, then the playlist, which only has to exist.
        V{"complete movie", kDisplay, {{"screen.mp4", 8001}}, "screen.mp4"},
        V{"movie over playlist", kDisplay, {{"screen.mp4", 9000}, {"screen.m3u8", 1}}, "screen.mp4"},
        V{"8000 bytes is a placeholder", kDisplay, {{"screen.mp4", 8000}}, nullptr, kNoVideo},
        V{"placeholder, playlist", kDisplay, {{"screen.mp4", 5000}, {"screen.m3u8", 1}}, "screen.m3u8"},
        V{"playlist alone", kDisplay, {{"screen.m3u8", 100}}, "screen.m3u8"},
        V{"no files", kDisplay, {}, nullptr, kNoVideo},
        // A playlist named as the output needs more than 32 bytes; ".m3u8" (lower case) is not there.
        V{"playlist output", output("screen.M3U8"), {{"screen.M3U8", 33}}, "screen.M3U8"},
        V{"short playlist output", output("screen.M3U8"), {{"screen.M3U8", 32}}, nullptr, kNoVideo},
        V{"no output name", output(nullptr), kMovie, nullptr, kNoVideo},
        V{"empty output name", output(""), {{".m3u8", 100}}, nullptr, kNoVideo},
        V{"subfolder", output("display/./p 1.mp4"), {{"display/p 1.mp4", 9000}}, "display/./p 1.mp4"},
        V{"type in capitals", only(recorder("DISPLAY", displaySession())), kMovie, "screen.mp4"},
        V{"no recorders", nullptr, {}, nullptr, kNoScreen},
        V{"audio only", only(recorder("microphone", displaySession())), kMovie, nullptr, kNoScreen},
        V{"no sessions", only({{"type", "display"}, {"sessions", Json::array()}}), {}, nullptr, kNoScreen},
        V{"recorders not an array", Json{{"type", "display"}}, {}, nullptr, kNoScreen},
        // Only the first display recorder counts, even when a later one has a session.
        V{"first display empty", Json::array({{{"type", "display"}}, display()}), kMovie, nullptr, kNoScreen},
        V{"parent of the package", output("../../secret.mp4"), {}, nullptr, kOutside},
        V{"dot-dot in the middle", output("a/../../../secret.mp4"), {}, nullptr, kOutside},
        V{"absolute path", output("/etc/passwd"), {}, nullptr, kOutside},
        V{"newline in the name", output("../x\n.mp4"), {}, nullptr, kOutside},
        V{"audio out", plus(recorder("microphone", file("../../s.mp4"))), kMovie, nullptr, kOutside},
        V{"webcam out", plus(recorder("camera", file("/tmp/s.mp4"))), kMovie, nullptr, kOutside}));
// clang-format on

TEST_F(ScreenStudioHeader, ExtraAudioFromEveryAudioRecorderInOrder) {
    Json recorders = Json::array({recorder("display", displaySession()),
                                  recorder("systemAudio", {{"outputFilename", "system.m4a"}}),
                                  recorder("Microphone", {{"outputFilename", "mic.m4a"}}),
                                  // Cannot be resolved: skipped.
                                  recorder("microphone", {{"outputFilename", "placeholder.m4a"}}),
                                  recorder("externalDeviceAudio", {{"outputFilename", "interface.m4a"}}),
                                  recorder("speaker", {{"outputFilename", "other.m4a"}})});
    PackageBuilder(packagePath())
        .metadata(metadataWith(recorders))
        .media("screen.mp4", 9000)
        .media("system.m4a", 9000)
        .media("mic.m4a", 9000)
        .media("placeholder.m4a", 10)
        .media("interface.m3u8", 40)
        .media("other.m4a", 9000);
    EXPECT_EQ(
        headerOf(packagePath()).extraAudio,
        (std::vector<std::string>{"recording/system.m4a", "recording/mic.m4a", "recording/interface.m3u8"}));
}

TEST_F(ScreenStudioHeader, WebcamFromTheFirstCameraRecorder) {
    const struct {
        const char* what;
        std::vector<Json> recorders;  // after the display recorder
        const char* file;             // null: no webcam
        double offset;
    } cases[] = {
        {"offset from the start times",
         {recorder("FaceTimeCamera",
                   {{"outputFilename", "camera.mp4"}, {"unixStartMs", kUnixStartMs + 1500}}),
          recorder("webcam", {{"outputFilename", "later.mp4"}})},
         "recording/camera.mp4",
         1.5},
        {"started before the screen",
         {recorder("camera", {{"outputFilename", "c.mov"}, {"unixStartMs", kUnixStartMs - 250}})},
         "recording/c.mov",
         -0.25},
        {"no start of its own",
         {recorder("videoDevice", {{"outputFilename", "c.mov"}})},
         "recording/c.mov",
         0},
        {"first camera's file missing",
         {recorder("camera", {{"outputFilename", "gone.mov"}}),
          recorder("camera", {{"outputFilename", "c.mov"}})},
         nullptr,
         0},
        {"first camera without a session",
         {Json{{"type", "camera"}}, recorder("webcam", {{"outputFilename", "c.mov"}})},
         nullptr,
         0},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Json recorders = Json::array({recorder("display", displaySession())});
        for (const Json& r : c.recorders) recorders.push_back(r);
        const std::string name = "W" + std::to_string(index++) + ".screenstudio";
        PackageBuilder(packagePath(name))
            .metadata(metadataWith(recorders))
            .media("screen.mp4", 9000)
            .media("camera.mp4", 9000)
            .media("later.mp4", 9000)
            .media("c.mov", 9000);
        const Header header = headerOf(packagePath(name));
        ASSERT_EQ(header.webcam.has_value(), c.file != nullptr);
        if (c.file == nullptr) continue;
        EXPECT_EQ(header.webcam->file, c.file);
        EXPECT_DOUBLE_EQ(header.webcam->offset, c.offset);
    }
}

// ---- References outside the package -------------------------------------------

TEST_F(ScreenStudioHeader, SymbolicLinksLeavingThePackageAreRefused) {
    writeMedia(temp_.path() / "secret.mp4", 9000);
    PackageBuilder(packagePath())
        .metadata(metadataWith(Json::array({recorder("display", displaySession())})));
    fs::create_symlink(temp_.path() / "secret.mp4", packagePath() / "recording" / "screen.mp4");
    EXPECT_EQ(errorOf(packagePath()).code, import_code::kOutsidePackage);

    // A link whose target stays inside the package is fine.
    PackageBuilder inside(packagePath("Inside.screenstudio"));
    inside.metadata(metadataWith(Json::array({recorder("display", displaySession())})))
        .media("real.mp4", 9000);
    fs::create_symlink("real.mp4", packagePath("Inside.screenstudio") / "recording" / "screen.mp4");
    EXPECT_EQ(headerOf(packagePath("Inside.screenstudio")).videoRelative, "recording/screen.mp4");

    // The metadata itself through a link out of the package.
    PackageBuilder linked(packagePath("Linked.screenstudio"));
    writeFile(temp_.path() / "elsewhere.json",
              metadataWith(Json::array({recorder("display", displaySession())})).dump());
    fs::create_symlink(temp_.path() / "elsewhere.json",
                       packagePath("Linked.screenstudio") / "recording" / "metadata.json");
    linked.media("screen.mp4", 9000);
    EXPECT_EQ(errorOf(packagePath("Linked.screenstudio")).code, import_code::kOutsidePackage);
}

TEST_F(ScreenStudioHeader, PackageReachedThroughALinkReadsNormally) {
    PackageBuilder::standard(temp_.path() / "real" / "Demo.screenstudio");
    fs::create_directory_symlink(temp_.path() / "real" / "Demo.screenstudio",
                                 packagePath("Alias.screenstudio"));
    EXPECT_EQ(headerOf(packagePath("Alias.screenstudio")).videoRelative, "recording/screen.mp4");
}

// ---- Slices, dates and names from the project root -------------------------------

Json projectWithSlices(Json slices) {
    return Json{{"scenes", Json::array({Json{{"slices", std::move(slices)}}})}};
}

// One slice of a project's scene in milliseconds; a null value leaves the key out.
Json slice(const Json& start, const Json& end, const Json& scale = nullptr) {
    Json s = Json::object();
    if (!start.is_null()) s["sourceStartMs"] = start;
    if (!end.is_null()) s["sourceEndMs"] = end;
    if (!scale.is_null()) s["timeScale"] = scale;
    return s;
}

TEST_F(ScreenStudioHeader, SlicesSumToTheSlicedDuration) {
    struct Case {
        const char* what;
        Json slices;
        std::vector<model::TimelineSlice> expected;
        double slicedDuration;
    };
    const auto list = [](std::initializer_list<Json> items) { return Json(std::vector<Json>(items)); };
    // clang-format off
    const Case cases[] = {
        {"two cuts", list({slice(0, 10000), slice(20000, 30000)}), {{0, 10, 1}, {20, 30, 1}}, 20},
        {"double speed", list({slice(0, 10000, 2)}), {{0, 10, 2}}, 5},
        {"time scale zero counts as one", list({slice(0, 10000, 0)}), {{0, 10, 1}}, 10},
        {"negative time scale", list({slice(0, 4000, -3)}), {{0, 4, 1}}, 4},
        {"numbers as strings", list({slice("1000", "3000", "0.5")}), {{1, 3, 0.5}}, 4},
        {"unsorted is sorted", list({slice(20000, 25000), slice(0, 5000)}), {{0, 5, 1}, {20, 25, 1}}, 10},
        {"end clamped to the session", list({slice(25000, 90000)}), {{25, 30, 1}}, 5},
        {"empty and reversed entries skipped",
         list({slice(5000, 5000), slice(8000, 2000), slice(nullptr, 3000), "junk"}), {{0, 3, 1}}, 3},
        {"no usable slices: the session's length", list({slice(1, nullptr)}), {}, 30},
    };
    // clang-format on
    int index = 0;
    for (const auto& c : cases) {
        const std::string name = "P" + std::to_string(index++) + ".screenstudio";
        PackageBuilder::standard(packagePath(name)).project(projectWithSlices(c.slices));
        const Header header = headerOf(packagePath(name));
        EXPECT_EQ(header.slices, c.expected) << c.what;
        EXPECT_DOUBLE_EQ(header.slicedDuration, c.slicedDuration) << c.what;
    }
}

TEST_F(ScreenStudioHeader, ProjectUnderAJsonKeyIsTheRoot) {
    Json inner = projectWithSlices(Json::parse(R"([{"sourceStartMs":0,"sourceEndMs":4000}])"));
    inner["name"] = "Wrapped";
    inner["createdAt"] = "2024-05-01T10:00:00.500Z";
    PackageBuilder::standard(packagePath()).project(Json{{"json", inner}, {"meta", {{"values", {}}}}});
    const Header header = headerOf(packagePath());
    EXPECT_EQ(header.name, "Wrapped");
    EXPECT_DOUBLE_EQ(header.slicedDuration, 4.0);
    EXPECT_EQ(header.created, utc(2024, 5, 1, 10, 0, 0, 500));
}

TEST_F(ScreenStudioHeader, CreatedFromRootThenMetaThenFileSystem) {
    PackageBuilder::standard(packagePath("Root.screenstudio"))
        .project({{"createdAt", "2024-05-01T10:00:00Z"}})
        .meta({{"createdAt", "2020-01-01T00:00:00Z"}});
    EXPECT_EQ(headerOf(packagePath("Root.screenstudio")).created, utc(2024, 5, 1, 10, 0, 0));

    // An unparseable root date falls through to meta.json (wrapped too).
    PackageBuilder::standard(packagePath("Meta.screenstudio"))
        .project({{"createdAt", "yesterday"}})
        .meta({{"json", {{"createdAt", "2020-01-01T00:00:00+01:00"}}}});
    EXPECT_EQ(headerOf(packagePath("Meta.screenstudio")).created, utc(2019, 12, 31, 23, 0, 0));

    // Neither parses (a number, an impossible date): the package's own date.
    PackageBuilder::standard(packagePath("Fs.screenstudio"))
        .project({{"createdAt", 12345}})
        .meta({{"createdAt", "2020-02-30T00:00:00Z"}});
    const auto fileSystemDate = model::creationDate(packagePath("Fs.screenstudio"));
    ASSERT_TRUE(fileSystemDate.has_value());
    EXPECT_EQ(headerOf(packagePath("Fs.screenstudio")).created, *fileSystemDate);
}

TEST_F(ScreenStudioHeader, NameFromRootUnlessEmpty) {
    PackageBuilder::standard(packagePath("A.screenstudio")).project({{"name", "My Talk"}});
    EXPECT_EQ(headerOf(packagePath("A.screenstudio")).name, "My Talk");
    PackageBuilder::standard(packagePath("B.screenstudio")).project({{"name", ""}});
    EXPECT_EQ(headerOf(packagePath("B.screenstudio")).name, "B");
    PackageBuilder::standard(packagePath("C.v2.screenstudio")).project({{"name", 42}});
    EXPECT_EQ(headerOf(packagePath("C.v2.screenstudio")).name, "C.v2");
}

TEST_F(ScreenStudioHeader, BrokenProjectJsonStillPeeks) {
    PackageBuilder::standard(packagePath()).file("project.json", "{not json");
    const Header header = headerOf(packagePath());
    EXPECT_EQ(header.name, "Demo");
    EXPECT_TRUE(header.slices.empty());
    EXPECT_DOUBLE_EQ(header.slicedDuration, 30.0);
}

// ---- The pure core with a fake file system ---------------------------------------

TEST(ScreenStudioParseHeader, ProbeErrorsPropagateAndSizesDecide) {
    PackageTexts texts;
    texts.metadata = metadataWith(Json::array({recorder("display", displaySession())})).dump();
    const auto now = std::chrono::system_clock::time_point{};

    const MediaProbe complete = [](const std::string& path) -> Result<std::optional<std::uintmax_t>> {
        return path == "recording/screen.mp4" ? std::optional<std::uintmax_t>{8001} : std::nullopt;
    };
    auto header = parseHeader(texts, complete, "Stem", now);
    ASSERT_TRUE(header.ok());
    EXPECT_EQ(header->videoRelative, "recording/screen.mp4");
    EXPECT_EQ(header->name, "Stem");
    EXPECT_EQ(header->created, now);

    const MediaProbe refusing = [](const std::string& path) -> Result<std::optional<std::uintmax_t>> {
        return makeError(domain::kImport, import_code::kOutsidePackage, "outside: " + path);
    };
    auto refused = parseHeader(texts, refusing, "Stem", now);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "outside: recording/screen.mp4");
}

}  // namespace
}  // namespace vorpix::import
