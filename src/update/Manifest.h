#pragma once

// The update manifest served at "/api/updates/latest.json":
//
//   {"version": "0.2.0", "notes": "...", "pub_date": "...",
//    "platforms": {"linux-x86_64": {"url": "https://.../Vorpix-0.2.0-linux-x86_64.zip",
//                                   "sha256": "<hex>", "signature": "<base64 Ed25519>"}}}
//
// `signature` is an Ed25519 signature of the package file made with the
// release key. It is optional here so that a manifest without it still
// decodes; the install then fails its verification, never skips it.

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>

#include "model/Result.h"

namespace vorpix::update {

struct Platform {
    QString url;        // download location of the zip package
    QString sha256;     // SHA-256 of the package as hexadecimal text, any letter case
    QString signature;  // base64 Ed25519 signature of the package; empty when absent

    bool operator==(const Platform&) const = default;
};

struct Manifest {
    QString version;                        // dot-separated numbers
    QString notes;                          // release notes; empty when absent
    QString pubDate;                        // "pub_date"; kept, not interpreted; empty when absent
    std::map<QString, Platform> platforms;  // platform key -> entry, sorted by key

    bool operator==(const Manifest&) const = default;
};

// Largest manifest body the updater reads, in bytes.
inline constexpr qint64 kMaxManifestBytes = 1 << 20;

// Decodes a manifest. `version` (string) and `platforms` (object) are
// required, and in every platform `url` and `sha256` (strings); optional keys
// must have the right type when present. Unknown keys are ignored.
// Errors: domain "json", one-line message.
Result<Manifest> decodeManifest(const QByteArray& json);

// Encodes a manifest as indented JSON with the keys above; optional keys that
// are empty are left out.
QByteArray encodeManifest(const Manifest& manifest);

// The platform key this build asks for: "linux-" + the machine architecture
// it was compiled for, spelled as `uname -m` spells it ("linux-x86_64").
QString platformKey();

// The entry to install: the one under `key`; when absent, the first entry in
// key order; none when `platforms` is empty.
std::optional<Platform> choosePlatform(const Manifest& manifest, const QString& key);

}  // namespace vorpix::update
