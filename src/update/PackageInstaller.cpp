#include "update/PackageInstaller.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>

#include <system_error>

#include "update/AppFolder.h"
#include "update/Ed25519.h"
#include "update/Errors.h"
#include "update/PrivateDir.h"

namespace vorpix::update {
namespace fs = std::filesystem;

namespace {

QString qpath(const fs::path& path) {
    return QString::fromStdString(path.native());
}

Error failure(int code, const std::string& message) {
    return makeError(domain::kUpdate, code, message);
}

Result<void> trialRun(const fs::path& app, const QString& expectedVersion, int timeoutMs) {
    QProcess process;
    process.setProgram(qpath(app / kProgramPath));
    process.setArguments({QStringLiteral("--version")});
    process.setWorkingDirectory(qpath(app));
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(1000);
    }
    const QString output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return failure(errc::kNewVersionBroken, "The new version does not start on this computer.");
    }
    if (output != QStringLiteral("vorpix ") + expectedVersion) {
        return failure(errc::kNewVersionBroken, "The package holds \"" + output.left(80).toStdString() +
                                                    "\", not version " + expectedVersion.toStdString() + ".");
    }
    return {};
}

// Moves `from` to `to`, copying when they lie on different file systems.
Result<void> moveTree(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return {};
    if (ec != std::errc::cross_device_link) {
        return failure(errc::kFiles, "Could not move the new version into place: " + ec.message() + ".");
    }
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) return failure(errc::kFiles, "Could not copy the new version into place: " + ec.message() + ".");
    return {};
}

}  // namespace

QString sha256Hex(const fs::path& file) {
    QFile in(qpath(file));
    if (!in.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&in)) return {};
    return QString::fromLatin1(hash.result().toHex());
}

bool verifyPackage(const fs::path& zip, const QString& sha256, const QString& signatureBase64,
                   const QByteArray& publicKey) {
    const QString actual = sha256Hex(zip);
    if (actual.isEmpty() || actual != sha256.toLower()) return false;
    const auto signature = decodeBase64Exact(signatureBase64.toLatin1(), kEd25519SignatureBytes);
    if (!signature || publicKey.size() != kEd25519PublicKeyBytes) return false;

    QFile in(qpath(zip));
    if (!in.open(QIODevice::ReadOnly)) return false;
    // Ed25519 signs the whole message at once; mapping avoids a copy of a
    // package that may be a few hundred megabytes.
    if (in.size() == 0) return verifyEd25519(publicKey, {}, *signature);
    const uchar* data = in.map(0, in.size());
    if (data == nullptr) return false;
    const bool valid = verifyEd25519(
        publicKey, QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(in.size())),
        *signature);
    in.unmap(const_cast<uchar*>(data));
    return valid;
}

Result<fs::path> unpackAndTry(const PrepareRequest& request) {
    auto extractDir = makePrivateDir(request.workDir, "Vorpix-extract-");
    if (!extractDir) return extractDir.error();
    if (auto unpacked = safeUnzip(request.zip, *extractDir, request.limits); !unpacked)
        return unpacked.error();

    auto app = findApp(*extractDir);
    if (!app) return failure(errc::kNoApp, "No app in the package.");
    if (auto ran = trialRun(*app, request.expectedVersion, request.trialRunTimeoutMs); !ran)
        return ran.error();
    return *app;
}

Result<PreparedUpdate> prepareUpdate(const PrepareRequest& request) {
    const auto app = unpackAndTry(request);
    if (!app) return app.error();

    const std::string prefix = "." + request.target.filename().native() + ".update-";
    auto staging = makePrivateDir(request.target.parent_path(), prefix);
    if (!staging) return staging.error();
    const fs::path newApp = *staging / "new";
    if (auto moved = moveTree(*app, newApp); !moved) {
        removeTreeQuietly(*staging);
        return moved.error();
    }
    return PreparedUpdate{newApp, *staging};
}

}  // namespace vorpix::update
