#pragma once

// The installer script that replaces the application folder after the running
// program has exited, and starting it as a process that outlives the program.

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

#include <filesystem>

#include "model/Result.h"

namespace vorpix::update {

// Everything the script needs. Every path is handed to it as an argument and
// only ever expanded inside double quotes, so no file name, however odd, is
// read as shell code.
struct InstallerArguments {
    qint64 waitForPid = 0;              // the running program; the script waits for it to exit
    std::filesystem::path newApp;       // the new application folder, beside `target`
    std::filesystem::path target;       // the installed application folder
    std::filesystem::path aside;        // where the old folder is moved while the new one moves in
    std::filesystem::path stagingDir;   // holds `newApp` and `aside`; removed at the end
    std::filesystem::path downloadDir;  // the private download folder; removed at the end
};

// The script text (POSIX sh). It waits until `waitForPid` has exited, moves
// `target` to `aside`, moves `newApp` to `target` (moving the old folder back
// when that fails), removes the staging and download folders, and then
// replaces itself with `target`/bin/vorpix.
QByteArray installerScript();

// The script's arguments in order.
QStringList installerArgv(const std::filesystem::path& script, const InstallerArguments& args);

// Writes the script to `script` (mode 0755) and starts it with /bin/sh as a
// detached process whose output goes to the null device and whose working
// folder is the parent of `target`. Errors: domain "update", codes
// errc::kFiles and errc::kInstaller.
Result<void> launchInstaller(const std::filesystem::path& script, const InstallerArguments& args);

}  // namespace vorpix::update
