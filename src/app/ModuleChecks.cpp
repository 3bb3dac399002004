#include "app/ModuleChecks.h"

#include <ostream>

#include "camera/CameraTimelineChecks.h"
#include "camera/ZoomSegmentChecks.h"
#include "capture/MicCapture.h"
#include "editor/Playback.h"
#include "editor/ZoomPlacement.h"
#include "media/CompositionBuilder.h"
#include "media/WaveformAnalyzer.h"
#include "timeline/EditTimelineChecks.h"

namespace vorpix::app {

int runModuleChecks(std::ostream& out, std::ostream& err) {
    int failures = 0;
    failures += media::WaveformAnalyzer::runChecks(out);
    failures += editor::playback::runChecks(out, err);
    failures += timeline::edit_timeline_checks::runChecks(out);
    failures += camera::zoom_segment_checks::runChecks(out);
    failures += editor::zoom_overlay::runChecks(out, err);
    failures += camera::camera_timeline_checks::runChecks(out);
    failures += media::CompositionBuilder::runChecks(out);
    failures += capture::runChecks(out, err);
    return failures;
}

}  // namespace vorpix::app
