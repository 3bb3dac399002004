#pragma once

// The blocking steps of an install, between download and installer script:
// verify the package, unpack it, find the application, try it, and stage it
// beside the installed folder. Pure functions of their arguments, safe to run
// on a worker thread (they touch no QObject of the caller).

#include <QByteArray>
#include <QString>

#include <filesystem>

#include "model/Result.h"
#include "update/SafeUnzip.h"

namespace vorpix::update {

// The SHA-256 of a file as lowercase hexadecimal; empty when it cannot be read.
QString sha256Hex(const std::filesystem::path& file);

// True only when the file's SHA-256 equals `sha256` (any letter case) and
// `signatureBase64` is a valid Ed25519 signature of the whole file under
// `publicKey` (32 raw bytes). A missing signature or key never verifies.
bool verifyPackage(const std::filesystem::path& zip, const QString& sha256, const QString& signatureBase64,
                   const QByteArray& publicKey);

struct PrepareRequest {
    std::filesystem::path zip;      // the verified package
    std::filesystem::path workDir;  // private download folder; the package is unpacked below it
    std::filesystem::path target;   // the installed application folder (prepareUpdate only)
    QString expectedVersion;        // what the new bin/vorpix --version must report
    UnzipLimits limits;
    int trialRunTimeoutMs = 10000;  // how long the new program may take to answer --version
};

struct PreparedUpdate {
    std::filesystem::path newApp;      // the new application folder, inside `stagingDir`
    std::filesystem::path stagingDir;  // private folder beside the target, same file system
};

// Unpacks `zip` into a new private folder below `workDir`, finds the
// application folder in it and runs its bin/vorpix --version, which must
// print "vorpix <expectedVersion>": a package that does not run here, or that
// is an older release under a newer label, is refused. Returns the
// application folder. Errors: domain "update", codes of update/Errors.h.
Result<std::filesystem::path> unpackAndTry(const PrepareRequest& request);

// unpackAndTry(), then moves the application folder into a new private
// staging folder beside `target`. Nothing of `target` is touched. The staging
// folder is removed again on failure.
Result<PreparedUpdate> prepareUpdate(const PrepareRequest& request);

}  // namespace vorpix::update
