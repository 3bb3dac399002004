// Files a recording names must lie inside its folder: absolute paths, "..",
// and symbolic links that lead out are ignored with one line each; names
// that stay inside, links within the folder included, are followed.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "model/FolderReference.h"

namespace vorpix::model {
namespace {

namespace fs = std::filesystem;

TEST(FolderReference, OnlyReferencesThatStayInsideTheFolderAreFollowed) {
    testing::TempFolder temp;
    const fs::path folder = temp.path() / "Recording";
    fs::create_directories(folder / "audio");
    std::ofstream(temp.path() / "secret.m4a") << "outside";
    std::ofstream(folder / "audio" / "mic.m4a") << "inside";
    fs::create_symlink(temp.path() / "secret.m4a", folder / "out.m4a");
    fs::create_symlink(folder / "audio" / "mic.m4a", folder / "in.m4a");
    fs::create_symlink("..", folder / "up");
    struct Case {
        std::string reference;
        bool followed;
    };
    const std::vector<Case> cases = {
        {"audio/mic.m4a", true},
        {"in.m4a", true},            // a link that stays inside
        {"missing.m4a", true},       // inside; reading it fails later
        {"./audio/mic.m4a", true},
        {(temp.path() / "secret.m4a").string(), false},
        {"../secret.m4a", false},
        {"audio/../../secret.m4a", false},
        {"out.m4a", false},          // a link that leaves
        {"up/secret.m4a", false},    // through a linked folder
        {"", false},
        {std::string("mic\0.m4a", 8), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        auto at = resolveInside(folder, c.reference);
        EXPECT_EQ(at.ok(), c.followed);
        if (at) {
            EXPECT_EQ(*at, folder / c.reference);
        } else {
            EXPECT_EQ(at.error().message.find('\n'), std::string::npos);
        }
    }
}

TEST(FolderReference, EveryReferenceOfARecordingIsChecked) {
    testing::TempFolder temp;
    SessionEvents events;
    events.webcamFile = "/etc/passwd";
    events.extraAudioFiles = std::vector<std::string>{"mic.m4a", "../../x.m4a"};
    Project project;
    project.clips = {AudioClip{.fileName = "voice.m4a"}, AudioClip{.fileName = "../y.mp3"}};
    const std::vector<std::string> lines = referencesOutside(temp.path(), events, project);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("\"/etc/passwd\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("\"../../x.m4a\""), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("\"../y.mp3\""), std::string::npos) << lines[2];
}

}  // namespace
}  // namespace vorpix::model
