// The waveform's case table, shared by the unit tests and the command-line
// self-check. In-memory envelopes only: no files.

#include <cmath>
#include <sstream>

#include "media/WaveformAnalyzer.h"

namespace vorpix::media {

namespace {

std::string describe(const WaveformPeaks& p) {
    std::ostringstream text;
    text << "duration " << p.duration << ", rate " << p.bucketsPerSecond << ", peaks [";
    for (std::size_t i = 0; i < p.peaks.size(); ++i) text << (i ? ", " : "") << p.peaks[i];
    text << "]";
    return text.str();
}

std::string silenceIsZeroForOneSecond() {
    const std::vector<float> samples(8, 0.0f);
    const auto p = WaveformAnalyzer::peaks(samples, 8, 2);
    if (p.duration != 1.0 || p.peaks != std::vector<float>{0, 0}) return describe(p);
    return "";
}

std::string stepLandsInTheSecondBucket() {
    const std::vector<float> samples = {0, 0, 0, 0, 1, 1, 1, 1};
    const auto p = WaveformAnalyzer::peaks(samples, 8, 2);
    if (p.peaks.size() != 2 || p.peaks[0] != 0 || p.peaks[1] < 0.99f) return describe(p);
    return "";
}

std::string negativeSamplesCountByMagnitude() {
    const std::vector<float> samples = {-0.75f, 0.5f, 0, 0};
    const auto p = WaveformAnalyzer::peaks(samples, 4, 2);
    if (p.peaks != std::vector<float>{0.75f, 0}) return describe(p);
    return "";
}

std::string noRateGivesOneEmptyBucket() {
    const std::vector<float> samples = {1, 1};
    const auto p = WaveformAnalyzer::peaks(samples, 0, 80);
    if (p.duration != 0 || p.peaks != std::vector<float>{0}) return describe(p);
    return "";
}

std::string louderSourceWins() {
    const auto a = WaveformAnalyzer::peaks(std::vector<float>{0, 0, 1, 1}, 4, 2);
    const auto b = WaveformAnalyzer::peaks(std::vector<float>{0.4f, 0.4f, 0, 0}, 4, 2);
    const auto m = WaveformAnalyzer::mix({a, b});
    if (!m) return "no mix";
    if (m->peaks.size() != 2 || std::fabs(m->peaks[0] - 0.4f) > 0.02f ||
        std::fabs(m->peaks[1] - 1.0f) > 0.02f) {
        return describe(*m);
    }
    return "";
}

std::string mixTakesTheLongestAndTheFirstRate() {
    WaveformPeaks shortFast{0.5, 4, {0.1f, 0.2f}};
    WaveformPeaks longSlow{2.0, 1, {0.3f, 0.9f}};
    const auto m = WaveformAnalyzer::mix({shortFast, longSlow});
    if (!m) return "no mix";
    const WaveformPeaks expected{2.0, 4, {0.3f, 0.3f, 0.3f, 0.3f, 0.9f, 0.9f, 0.9f, 0.9f}};
    if (*m != expected) return describe(*m);
    return "";
}

std::string mixOfNothingIsNoneOfOneIsItself() {
    if (WaveformAnalyzer::mix({})) return "the mix of nothing is an envelope";
    const WaveformPeaks one{0.3, 10, {0.5f, 0.25f, 1.0f}};
    const auto m = WaveformAnalyzer::mix({one});
    if (!m || *m != one) return "the mix of one envelope changed it";
    return "";
}

std::string peakOutsideTheEnvelopeIsZero() {
    const WaveformPeaks p{1.0, 2, {0.5f, 0.7f}};
    const struct {
        double t;
        float value;
    } cases[] = {{-0.001, 0}, {0, 0.5f}, {0.499, 0.5f}, {0.5, 0.7f}, {0.999, 0.7f}, {1.0, 0}, {50, 0}};
    for (const auto& c : cases) {
        if (p.peak(c.t) != c.value)
            return "peak at " + std::to_string(c.t) + " is " + std::to_string(p.peak(c.t));
    }
    const WaveformPeaks noRate{1.0, 0, {0.5f}};
    if (noRate.peak(0) != 0) return "an envelope without a rate has a value";
    if (WaveformPeaks{}.peak(0) != 0) return "an empty envelope has a value";
    return "";
}

}  // namespace

const std::vector<WaveformCheck>& waveformChecks() {
    static const std::vector<WaveformCheck> checks = {
        {"silence is zero for one second", silenceIsZeroForOneSecond},
        {"a step lands in the second bucket", stepLandsInTheSecondBucket},
        {"negative samples count by magnitude", negativeSamplesCountByMagnitude},
        {"no rate gives one empty bucket", noRateGivesOneEmptyBucket},
        {"the louder source wins", louderSourceWins},
        {"the mix takes the longest and the first rate", mixTakesTheLongestAndTheFirstRate},
        {"the mix of nothing is none, of one itself", mixOfNothingIsNoneOfOneIsItself},
        {"peak outside the envelope is zero", peakOutsideTheEnvelopeIsZero},
    };
    return checks;
}

int WaveformAnalyzer::runChecks(std::ostream& out) {
    int failures = 0;
    for (const auto& check : waveformChecks()) {
        const std::string problem = check.run();
        if (!problem.empty()) {
            out << "waveform: " << check.name << ": " << problem << "\n";
            ++failures;
        }
    }
    if (failures == 0) {
        out << "waveform OK\n";
    } else {
        out << "waveform FAIL (" << failures << ")\n";
    }
    return failures;
}

}  // namespace vorpix::media
