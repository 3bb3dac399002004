// The `vorpix` executable: the composition root. It resolves the platform's
// folders and settings, then offers the arguments to the command-line modes;
// without one of them it will start the windowed application.

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QSettings>
#include <QStandardPaths>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "media/FFmpeg.h"
#include "model/SafeOutput.h"

namespace {

// Qt's own chatter would mix into the modes' one-line results; keep real
// problems, drop the notice about a missing runtime folder that headless
// runs always trigger.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    if (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR")) return;
    std::cerr << message.toStdString() << "\n";
}

std::filesystem::path moviesFolder() {
    QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (movies.isEmpty()) movies = QDir::home().filePath("Movies");
    return movies.toStdString();
}

vorpix::app::Environment environment() {
    vorpix::app::Environment env;
    env.moviesFolder = moviesFolder();
    env.applicationSupport =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString();
    env.homeFolder = QDir::homePath().toStdString();
    env.temporaryFolder = QDir::tempPath().toStdString();
    QSettings settings("Vorpix", "Vorpix");
    for (const QString& folder : settings.value("screenStudioLibraryFolders").toStringList()) {
        env.screenStudioFolders.push_back(folder.toStdString());
    }
    env.terminal = ::isatty(STDERR_FILENO) != 0;
    return env;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts: Ctrl-C, SIGTERM or a hang-up never leave a
    // half-written movie's temporary, and a file-size limit is a write error.
    vorpix::model::SafeOutput::removeTemporariesOnSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    qInstallMessageHandler(quietMessages);
    std::unique_ptr<QCoreApplication> qt;
    if (vorpix::app::qtNeedFor(args) == vorpix::app::QtNeed::gui) {
        // Painting text needs a GUI application; never a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        qt = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        qt = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName("Vorpix");
    QCoreApplication::setApplicationName("Vorpix");
    // The modes report problems themselves, in one line each.
    vorpix::media::setFFmpegLogLevel(vorpix::media::FFmpegLogLevel::errors);

    if (const auto status = vorpix::app::runCommandLine(args, environment(), std::cout, std::cerr))
        return *status;
    // The windowed application is not built yet: say how to use the program.
    std::cout << vorpix::app::usageText();
    return 0;
}
