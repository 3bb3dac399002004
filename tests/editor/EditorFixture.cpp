#include "EditorFixture.h"

#include <fstream>

namespace vorpix::testing {

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "editor_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

TempFolder* EditorTest::shared_ = nullptr;

void EditorTest::SetUpTestSuite() {
    if (shared_) return;
    shared_ = new TempFolder();
    TestMovieRecipe movie;
    movie.fps = 10;
    movie.frames = 100;
    movie.audioSeconds = 10;
    ASSERT_TRUE(writeTestMovie(shared_->path() / "raw.mov", movie));
}

void EditorTest::TearDownTestSuite() {}

std::unique_ptr<editor::EditorModel> EditorTest::make(const std::filesystem::path& folder, double duration) {
    model::RecordingItem item;
    item.id = folder.filename().string();
    item.folder = folder;
    item.duration = duration;
    item.pixelSize = {320, 200};
    return std::make_unique<editor::EditorModel>(item, editor::EditorModel::Services{{}, &active_, player_});
}

editor::EditorModel& EditorTest::open(const model::SessionEvents& events,
                                       const std::optional<model::Project>& project) {
    std::filesystem::create_directories(recording());
    std::filesystem::copy_file(shared_->path() / "raw.mov", recording() / "raw.mov",
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_TRUE(model::writeFileAtomically(recording() / model::kEventsFileName,
                                           *model::encodeSessionEvents(events)));
    if (project) {
        EXPECT_TRUE(model::writeProject(recording(), *project));
    }
    model_ = make(recording(), events.duration);
    EXPECT_TRUE(waitFor([this] { return model_->isReady() || !model_->loadError().isEmpty(); }));
    EXPECT_EQ(model_->loadError().toStdString(), "");
    return *model_;
}

std::string EditorTest::projectBytes() const {
    auto bytes = model::readWholeFile(recording() / model::kProjectFileName);
    return bytes ? *bytes : std::string("<none>");
}

void EditorTest::expectSaved(const editor::EditorModel& m) const {
    EXPECT_EQ(projectBytes(), *model::encodeProject(m.state().document()));
}

}  // namespace vorpix::testing
