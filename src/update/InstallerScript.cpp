#include "update/InstallerScript.h"

#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QString>
#include <QStringList>

#include "update/Errors.h"

namespace vorpix::update {
namespace fs = std::filesystem;

namespace {

QString qpath(const fs::path& path) {
    return QString::fromStdString(path.native());
}

}  // namespace

QByteArray installerScript() {
    // `mv -T` renames onto the exact path instead of moving into a folder
    // that might appear there. The old folder is deleted only once the new
    // one is in place, and the staging folder only when the target exists.
    return QByteArrayLiteral(
        "#!/bin/sh\n"
        "# Vorpix installer: replaces the application folder once the running\n"
        "# program has exited, then starts the new version.\n"
        "#   $1 process id to wait for      $2 new application folder\n"
        "#   $3 installed application folder  $4 where the old folder goes meanwhile\n"
        "#   $5 staging folder to remove     $6 download folder to remove\n"
        "pid=\"$1\"\n"
        "new=\"$2\"\n"
        "target=\"$3\"\n"
        "aside=\"$4\"\n"
        "stage=\"$5\"\n"
        "work=\"$6\"\n"
        "while kill -0 \"$pid\" 2>/dev/null; do sleep 0.2; done\n"
        "if mv -T -- \"$target\" \"$aside\"; then\n"
        "    if mv -T -- \"$new\" \"$target\"; then\n"
        "        rm -rf -- \"$aside\"\n"
        "    elif ! mv -T -- \"$aside\" \"$target\"; then\n"
        "        exit 1\n"
        "    fi\n"
        "fi\n"
        "[ -e \"$target\" ] && rm -rf -- \"$stage\"\n"
        "rm -rf -- \"$work\"\n"
        "exec \"$target/bin/vorpix\"\n");
}

QStringList installerArgv(const fs::path& script, const InstallerArguments& args) {
    return {qpath(script),     QString::number(args.waitForPid), qpath(args.newApp),     qpath(args.target),
            qpath(args.aside), qpath(args.stagingDir),           qpath(args.downloadDir)};
}

Result<void> launchInstaller(const fs::path& script, const InstallerArguments& args) {
    if (args.waitForPid <= 0) {
        return makeError(domain::kUpdate, errc::kInstaller, "No running program to wait for.");
    }
    QSaveFile file(qpath(script));
    if (!file.open(QIODevice::WriteOnly) || file.write(installerScript()) < 0 || !file.commit()) {
        return makeError(domain::kUpdate, errc::kFiles,
                         "Could not write the installer: " + file.errorString().toStdString() + ".");
    }
    QFile::setPermissions(qpath(script), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                             QFile::ExeOther);
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments(installerArgv(script, args));
    process.setWorkingDirectory(qpath(args.target.parent_path()));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        return makeError(domain::kUpdate, errc::kInstaller,
                         "Could not start the installer: " + process.errorString().toStdString() + ".");
    }
    return {};
}

}  // namespace vorpix::update
