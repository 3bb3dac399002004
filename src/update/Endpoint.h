#pragma once

// Where the updater may fetch from: the endpoint's base URL and the rule that
// only HTTPS locations are accepted.

#include <QString>
#include <QUrl>

namespace vorpix::update {

// Which download locations are acceptable. Production code always uses
// `httpsOnly`; `allowLoopbackHttp` exists for tests that serve updates from a
// server they start on 127.0.0.1.
enum class UrlPolicy { httpsOnly, allowLoopbackHttp };

// Path of the manifest below the endpoint's base URL.
inline constexpr const char* kManifestPath = "/api/updates/latest.json";

// Name of the setting that overrides the compiled-in base URL.
inline constexpr const char* kUpdateUrlSetting = "updateURL";

// True for a valid absolute https:// URL with a host; with
// `allowLoopbackHttp` also for http:// to 127.0.0.1, ::1 or "localhost".
bool isAllowedLocation(const QUrl& url, UrlPolicy policy);

// The endpoint's base URL: `setting` (the value of "updateURL") when it is
// not blank, else the base URL this build was configured with.
QUrl endpointBaseUrl(const QString& setting);

// `base` + "/api/updates/latest.json", keeping any path `base` already has
// ("https://host/vorpix" -> "https://host/vorpix/api/updates/latest.json").
QUrl manifestUrl(const QUrl& base);

}  // namespace vorpix::update
