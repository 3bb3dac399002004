#include "update/Endpoint.h"

#include <QHostAddress>

#include "update/BuildConfig.h"

namespace vorpix::update {

bool isAllowedLocation(const QUrl& url, UrlPolicy policy) {
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) return true;
    if (scheme != QLatin1String("http") || policy != UrlPolicy::allowLoopbackHttp) return false;
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(url.host());
    return !address.isNull() && address.isLoopback();
}

QUrl endpointBaseUrl(const QString& setting) {
    const QString trimmed = setting.trimmed();
    return QUrl(trimmed.isEmpty() ? QString::fromUtf8(build::kUpdateUrl) : trimmed);
}

QUrl manifestUrl(const QUrl& base) {
    QUrl url = base;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/'))) path.chop(1);
    url.setPath(path + QLatin1String(kManifestPath));
    return url;
}

}  // namespace vorpix::update
