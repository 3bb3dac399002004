#include "update/Manifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <sys/utsname.h>

#include "model/JsonCodes.h"

namespace vorpix::update {
namespace {

namespace json_code = model::json_code;

Error jsonError(int code, const QString& what) {
    return makeError(domain::kJson, code, "Invalid update manifest: " + what.toStdString() + ".");
}

// Error for a required member that is absent or has another type.
Error requiredError(const QJsonValue& value, const QString& what) {
    return jsonError(value.isUndefined() || value.isNull() ? json_code::kMissingKey : json_code::kWrongType,
                     what);
}

// Reads an optional string member; false when present with another type.
bool optionalString(const QJsonObject& object, const char* key, QString& out) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) return true;
    if (!value.isString()) return false;
    out = value.toString();
    return true;
}

}  // namespace

Result<Manifest> decodeManifest(const QByteArray& json) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return jsonError(json_code::kSyntax, parseError.errorString());
    if (!document.isObject()) return jsonError(json_code::kWrongType, "not an object");
    const QJsonObject root = document.object();

    Manifest manifest;
    const QJsonValue version = root.value(QLatin1String("version"));
    if (!version.isString()) return requiredError(version, "\"version\" is missing or not a string");
    manifest.version = version.toString();
    if (!optionalString(root, "notes", manifest.notes))
        return jsonError(json_code::kWrongType, "\"notes\" is not a string");
    if (!optionalString(root, "pub_date", manifest.pubDate))
        return jsonError(json_code::kWrongType, "\"pub_date\" is not a string");

    const QJsonValue platforms = root.value(QLatin1String("platforms"));
    if (!platforms.isObject()) return requiredError(platforms, "\"platforms\" is missing or not an object");
    const QJsonObject entries = platforms.toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (!it.value().isObject())
            return jsonError(json_code::kWrongType, "platform \"" + it.key() + "\" is not an object");
        const QJsonObject entry = it.value().toObject();
        const QJsonValue url = entry.value(QLatin1String("url"));
        const QJsonValue sha256 = entry.value(QLatin1String("sha256"));
        if (!url.isString() || !sha256.isString()) {
            return requiredError(url.isString() ? sha256 : url,
                                 "platform \"" + it.key() + "\" needs \"url\" and \"sha256\" strings");
        }
        Platform platform{url.toString(), sha256.toString(), {}};
        if (!optionalString(entry, "signature", platform.signature)) {
            return jsonError(json_code::kWrongType,
                             "platform \"" + it.key() + "\" has a \"signature\" that is not a string");
        }
        manifest.platforms.emplace(it.key(), std::move(platform));
    }
    return manifest;
}

QByteArray encodeManifest(const Manifest& manifest) {
    QJsonObject platforms;
    for (const auto& [key, platform] : manifest.platforms) {
        QJsonObject entry{{"url", platform.url}, {"sha256", platform.sha256}};
        if (!platform.signature.isEmpty()) entry.insert("signature", platform.signature);
        platforms.insert(key, entry);
    }
    QJsonObject root{{"version", manifest.version}, {"platforms", platforms}};
    if (!manifest.notes.isEmpty()) root.insert("notes", manifest.notes);
    if (!manifest.pubDate.isEmpty()) root.insert("pub_date", manifest.pubDate);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString platformKey() {
#if defined(__x86_64__)
    return QStringLiteral("linux-x86_64");
#elif defined(__aarch64__)
    return QStringLiteral("linux-aarch64");
#elif defined(__riscv) && __riscv_xlen == 64
    return QStringLiteral("linux-riscv64");
#else
    utsname name{};
    if (uname(&name) != 0) return QStringLiteral("linux-unknown");
    return QStringLiteral("linux-") + QString::fromLocal8Bit(name.machine);
#endif
}

std::optional<Platform> choosePlatform(const Manifest& manifest, const QString& key) {
    if (const auto it = manifest.platforms.find(key); it != manifest.platforms.end()) return it->second;
    if (manifest.platforms.empty()) return std::nullopt;
    return manifest.platforms.begin()->second;
}

}  // namespace vorpix::update
