#pragma once

// A private PulseAudio server for one test program (see
// pulse-test-server.sh next to this file for what it holds: a 440 Hz tone
// playing into the default output "vorpix_test_out", a 1000 Hz microphone
// "vorpix_test_mic"). start() points this process's libpulse at it through
// PULSE_SERVER; stop() ends it. Use from SetUpTestSuite/TearDownTestSuite.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace vorpix::testing {

class PulseTestServer {
public:
    inline static constexpr double kOutputToneHz = 440;
    inline static constexpr double kMicrophoneToneHz = 1000;

    // Empty on success, else the reason (the script's own message).
    std::string start() {
        char pattern[] = "/tmp/vorpix-pulse-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return "could not make a folder for PulseAudio";
        dir_ = pattern;
        const std::string out = run("start");
        const auto at = out.find("PULSE_SERVER=");
        if (at == std::string::npos) return "PulseAudio did not start: " + out;
        std::string server = out.substr(at + 13);
        while (!server.empty() && (server.back() == '\n' || server.back() == '\r')) server.pop_back();
        setenv("PULSE_SERVER", server.c_str(), 1);
        return {};
    }

    void stop() {
        if (dir_.empty()) return;
        run("stop");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        dir_.clear();
    }

    // Runs `pactl <args>` against the server: its output (a module's index
    // for load-module), or none when it failed.
    static std::optional<std::string> pactl(const std::string& args) {
        std::string out;
        FILE* p = popen(("pactl " + args + " 2>/dev/null").c_str(), "r");
        if (p == nullptr) return std::nullopt;
        char buffer[256];
        while (fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
        if (pclose(p) != 0) return std::nullopt;
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }

    // Plugs in another microphone (carrying the 1000 Hz tone) and returns
    // the module to unload to unplug it, or none.
    static std::optional<std::string> plugMicrophone(const std::string& name) {
        return pactl("load-module module-remap-source source_name=" + name +
                     " master=vorpix_test_mic_feed.monitor channels=1");
    }

private:
    std::string run(const std::string& command) const {
        const std::string script = std::string(VORPIX_CAPTURE_TESTS_DIR) + "/pulse-test-server.sh";
        std::string out;
        if (FILE* p = popen((script + " " + command + " " + dir_.string() + " 2>&1").c_str(), "r")) {
            char buffer[256];
            while (fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
            pclose(p);
        }
        return out;
    }

    std::filesystem::path dir_;
};

}  // namespace vorpix::testing
