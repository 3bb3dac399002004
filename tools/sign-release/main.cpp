// vorpix-sign-release: signs update packages and writes the update manifest.
//
//   vorpix-sign-release keygen PRIVATE.pem
//   vorpix-sign-release public-key PRIVATE.pem
//   vorpix-sign-release sign --key PRIVATE.pem --package ZIP --version V --url URL
//                            [--platform KEY] [--notes TEXT] [--pub-date TEXT] [--manifest FILE]
//   vorpix-sign-release verify --public-key BASE64 --package ZIP [--platform KEY] [--manifest FILE]
//   vorpix-sign-release check-package --package ZIP --version V

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

#include "update/Ed25519.h"
#include "update/Endpoint.h"
#include "update/Manifest.h"
#include "update/PackageInstaller.h"
#include "update/PrivateDir.h"

namespace {

namespace upd = vorpix::update;

constexpr const char* kUsage =
    "usage: vorpix-sign-release keygen PRIVATE.pem\n"
    "       vorpix-sign-release public-key PRIVATE.pem\n"
    "       vorpix-sign-release sign --key PRIVATE.pem --package ZIP --version V --url URL\n"
    "                                [--platform KEY] [--notes TEXT] [--pub-date TEXT] [--manifest FILE]\n"
    "       vorpix-sign-release verify --public-key BASE64 --package ZIP [--platform KEY] [--manifest FILE]\n"
    "       vorpix-sign-release check-package --package ZIP --version V\n"
    "\n"
    "keygen writes a new Ed25519 private key (mode 0600) and prints its public key;\n"
    "configure builds with -DVORPIX_UPDATE_PUBLIC_KEY=<that text>. sign adds the\n"
    "package's entry (url, sha256, signature) for KEY (default: this machine's,\n"
    "e.g. linux-x86_64) to FILE (default: latest.json), starting a new manifest when\n"
    "FILE is missing or names another version. verify checks a package against it.\n"
    "check-package unpacks ZIP under the updater's rules into a temporary folder\n"
    "and runs its bin/vorpix --version, which must report V.\n";

int fail(const QString& message) {
    std::fprintf(stderr, "vorpix-sign-release: %s\n", message.toLocal8Bit().constData());
    return 1;
}

std::optional<QByteArray> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& data, QFileDevice::Permissions permissions) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(permissions) ||
        file.write(data) != data.size()) {
        return false;
    }
    return file.commit();
}

// Options of the form "--name value"; none when an option lacks its value.
std::optional<std::map<QString, QString>> parseOptions(const QStringList& args) {
    std::map<QString, QString> options;
    for (qsizetype i = 0; i < args.size(); i += 2) {
        if (!args[i].startsWith(QLatin1String("--")) || i + 1 >= args.size()) return std::nullopt;
        options[args[i].mid(2)] = args[i + 1];
    }
    return options;
}

QString option(const std::map<QString, QString>& options, const char* name, const QString& fallback = {}) {
    const auto it = options.find(QString::fromLatin1(name));
    return it == options.end() ? fallback : it->second;
}

int keygen(const QString& path) {
    if (QFile::exists(path)) return fail(path + " exists; refusing to overwrite a key.");
    const auto pem = upd::generatePrivateKeyPem();
    if (!pem) return fail(QString::fromStdString(pem.error().message));
    if (!writeFile(path, *pem, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        return fail("could not write " + path);
    }
    const auto publicKey = upd::publicKeyOf(*pem);
    if (!publicKey) return fail(QString::fromStdString(publicKey.error().message));
    std::printf("%s\n", publicKey->toBase64().constData());
    return 0;
}

int printPublicKey(const QString& path) {
    const auto pem = readFile(path);
    if (!pem) return fail("could not read " + path);
    const auto publicKey = upd::publicKeyOf(*pem);
    if (!publicKey) return fail(QString::fromStdString(publicKey.error().message));
    std::printf("%s\n", publicKey->toBase64().constData());
    return 0;
}

int sign(const std::map<QString, QString>& options) {
    const QString keyPath = option(options, "key");
    const QString package = option(options, "package");
    const QString version = option(options, "version");
    const QString url = option(options, "url");
    const QString manifestPath = option(options, "manifest", QStringLiteral("latest.json"));
    const QString platform = option(options, "platform", upd::platformKey());
    if (keyPath.isEmpty() || package.isEmpty() || version.isEmpty() || url.isEmpty()) {
        return fail("sign needs --key, --package, --version and --url");
    }
    // Plain HTTP is accepted for loopback addresses only, where tests serve
    // their packages; the program itself refuses it outside test builds.
    if (!upd::isAllowedLocation(QUrl(url, QUrl::StrictMode), upd::UrlPolicy::allowLoopbackHttp)) {
        return fail("--url must be an https:// address");
    }
    const auto pem = readFile(keyPath);
    if (!pem) return fail("could not read " + keyPath);
    QFile in(package);
    if (!in.open(QIODevice::ReadOnly)) return fail("could not read " + package);
    const QByteArray bytes = in.readAll();
    const auto signature = upd::signEd25519(*pem, bytes);
    if (!signature) return fail(QString::fromStdString(signature.error().message));

    upd::Manifest manifest;
    if (const auto existing = readFile(manifestPath)) {
        auto decoded = upd::decodeManifest(*existing);
        if (!decoded) return fail(manifestPath + ": " + QString::fromStdString(decoded.error().message));
        if (decoded->version == version) manifest = std::move(*decoded);
    }
    manifest.version = version;
    if (options.count(QStringLiteral("notes"))) manifest.notes = option(options, "notes");
    if (options.count(QStringLiteral("pub-date"))) manifest.pubDate = option(options, "pub-date");
    manifest.platforms[platform] =
        upd::Platform{url, upd::sha256Hex(package.toStdString()), QString::fromLatin1(signature->toBase64())};
    if (!writeFile(manifestPath, upd::encodeManifest(manifest),
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                       QFileDevice::ReadOther)) {
        return fail("could not write " + manifestPath);
    }
    return 0;
}

int verify(const std::map<QString, QString>& options) {
    const QString package = option(options, "package");
    const QString manifestPath = option(options, "manifest", QStringLiteral("latest.json"));
    const QString platform = option(options, "platform", upd::platformKey());
    const auto publicKey =
        upd::decodeBase64Exact(option(options, "public-key").toLatin1(), upd::kEd25519PublicKeyBytes);
    if (!publicKey || package.isEmpty()) return fail("verify needs --public-key (base64) and --package");
    const auto text = readFile(manifestPath);
    if (!text) return fail("could not read " + manifestPath);
    const auto manifest = upd::decodeManifest(*text);
    if (!manifest) return fail(QString::fromStdString(manifest.error().message));
    const auto entry = manifest->platforms.find(platform);
    if (entry == manifest->platforms.end()) return fail("the manifest has no entry for " + platform);
    if (!upd::verifyPackage(package.toStdString(), entry->second.sha256, entry->second.signature,
                            *publicKey)) {
        return fail("the package does not match its manifest entry");
    }
    std::printf("%s %s: good signature\n", package.toLocal8Bit().constData(),
                platform.toLatin1().constData());
    return 0;
}

int checkPackage(const std::map<QString, QString>& options) {
    const QString package = option(options, "package");
    const QString version = option(options, "version");
    if (package.isEmpty() || version.isEmpty()) return fail("check-package needs --package and --version");
    const auto work = upd::makePrivateDir(std::filesystem::temp_directory_path(), "vorpix-check-package-");
    if (!work) return fail(QString::fromStdString(work.error().message));
    upd::PrepareRequest request;
    request.zip = package.toStdString();
    request.workDir = *work;
    request.expectedVersion = version;
    const auto app = upd::unpackAndTry(request);
    upd::removeTreeQuietly(*work);
    if (!app) return fail(QString::fromStdString(app.error().message));
    std::printf("%s: installs as version %s\n", package.toLocal8Bit().constData(),
                version.toLatin1().constData());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty() || args[0] == QLatin1String("--help")) {
        std::fputs(kUsage, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    const QString command = args.takeFirst();
    if ((command == QLatin1String("keygen") || command == QLatin1String("public-key")) && args.size() == 1) {
        return command == QLatin1String("keygen") ? keygen(args[0]) : printPublicKey(args[0]);
    }
    const auto options = parseOptions(args);
    if (options && command == QLatin1String("sign")) return sign(*options);
    if (options && command == QLatin1String("verify")) return verify(*options);
    if (options && command == QLatin1String("check-package")) return checkPackage(*options);
    std::fputs(kUsage, stderr);
    return 2;
}
