#include "update/Updater.h"

#include <QFile>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <system_error>
#include <utility>

#include "update/AppFolder.h"
#include "update/Ed25519.h"
#include "update/InstallerScript.h"
#include "update/PackageInstaller.h"
#include "update/PrivateDir.h"
#include "update/Version.h"

namespace vorpix::update {
namespace fs = std::filesystem;

namespace {

const QString kChecking = QStringLiteral("Checking…");
const QString kLatest = QStringLiteral("You are on the latest version.");
const QString kCouldNotCheck = QStringLiteral("Could not check for updates.");
const QString kPackageMissing = QStringLiteral("Update package is missing.");
const QString kDownloading = QStringLiteral("Downloading…");
const QString kChecksumMismatch = QStringLiteral("The download did not match its checksum.");
const QString kInstalling = QStringLiteral("Installing…");
const QString kFromPackageManager = QStringLiteral("Updates come from your package manager.");
const QString kUpdateFailed = QStringLiteral("Update failed: ");

constexpr int kMaxRedirects = 5;

QString qpath(const fs::path& path) {
    return QString::fromStdString(path.native());
}

QNetworkRequest makeRequest(const QUrl& url, int timeoutMs) {
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    return request;
}

// Follows a redirect only to a location the policy accepts, so an HTTPS
// request can never continue over plain HTTP.
void guardRedirects(QNetworkReply* reply, UrlPolicy policy) {
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, policy](const QUrl& url) {
        if (isAllowedLocation(url, policy)) {
            emit reply->redirectAllowed();
        } else {
            reply->abort();
        }
    });
}

// True when no HTTP answer arrived at all (connection, TLS, timeout, abort).
// HTTP error statuses count as answers: their bodies are decoded like any other.
bool requestFailed(const QNetworkReply* reply) {
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) return true;
    const QNetworkReply::NetworkError error = reply->error();
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

}  // namespace

UpdaterConfig releaseConfig(const QString& updateUrlSetting, const QString& version,
                            const fs::path& executable, qint64 pid, const fs::path& tempDir) {
    UpdaterConfig config;
    config.baseUrl = endpointBaseUrl(updateUrlSetting);
    config.currentVersion = version;
    config.appFolder = appFolderOf(executable).value_or(fs::path());
    config.publicKey = releasePublicKey();
    config.waitForPid = pid;
    config.tempDir = tempDir;
    return config;
}

Updater::Updater(UpdaterConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)), network_(new QNetworkAccessManager(this)) {
    if (config_.tempDir.empty()) {
        std::error_code ec;
        config_.tempDir = fs::temp_directory_path(ec);
    }
    if (!config_.appFolder.empty()) {
        std::error_code ec;
        const fs::path canonical = fs::weakly_canonical(config_.appFolder, ec);
        if (!ec) config_.appFolder = canonical;
        selfUpdatable_ = isSelfUpdatable(config_.appFolder);
    }
}

Updater::~Updater() {
    if (worker_.joinable()) worker_.join();
    if (!launched_) cleanUp();
}

QString Updater::currentVersion() const {
    return config_.currentVersion.isEmpty() ? QStringLiteral("0") : config_.currentVersion;
}

void Updater::setShowSheet(bool show) {
    if (showSheet_ == show) return;
    showSheet_ = show;
    emit showSheetChanged();
}

void Updater::setStatus(const QString& status) {
    if (status_ == status) return;
    status_ = status;
    emit statusChanged();
}

void Updater::setBusy(bool busy) {
    if (busy_ == busy) return;
    busy_ = busy;
    emit busyChanged();
}

void Updater::check(CheckMode mode) {
    if (busy_) return;
    if (checkReply_) {
        checkReply_->disconnect(this);
        checkReply_->abort();
        checkReply_->deleteLater();
    }
    const bool interactive = mode == CheckMode::interactive;
    setStatus(interactive ? kChecking : QString());

    const QUrl url = manifestUrl(config_.baseUrl);
    if (!isAllowedLocation(url, config_.urlPolicy)) {
        if (interactive) setStatus(kCouldNotCheck);
        emit checkFinished();
        return;
    }
    QNetworkReply* reply = network_->get(makeRequest(url, config_.transferTimeoutMs));
    checkReply_ = reply;
    guardRedirects(reply, config_.urlPolicy);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxManifestBytes) reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, mode] { finishCheck(reply, mode); });
}

void Updater::finishCheck(QNetworkReply* reply, CheckMode mode) {
    reply->deleteLater();
    if (checkReply_ == reply) checkReply_ = nullptr;
    const bool interactive = mode == CheckMode::interactive;
    const auto done = [this] { emit checkFinished(); };

    if (requestFailed(reply)) {
        if (interactive) setStatus(kCouldNotCheck);
        return done();
    }
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 204) {
        if (interactive) setStatus(kLatest);
        return done();
    }
    const QByteArray body = reply->read(kMaxManifestBytes + 1);
    auto manifest = body.size() > kMaxManifestBytes
                        ? Result<Manifest>(makeError(domain::kJson, 0, "too large"))
                        : decodeManifest(body);
    if (!manifest) {
        if (interactive) setStatus(kCouldNotCheck);
        return done();
    }
    if (isNewer(manifest->version.toStdString(), currentVersion().toStdString())) {
        if (!selfUpdatable_) {
            if (interactive) setStatus(kFromPackageManager);
            return done();
        }
        available_ = std::move(*manifest);
        emit availableChanged();
        setStatus(QStringLiteral("Version ") + available_->version + QStringLiteral(" is ready."));
        setShowSheet(true);
    } else if (interactive) {
        setStatus(QStringLiteral("You are on the latest version (") + currentVersion() +
                  QStringLiteral(")."));
    }
    done();
}

void Updater::install() {
    if (busy_) return;
    if (!selfUpdatable_) return setStatus(kFromPackageManager);
    if (!available_) return setStatus(kPackageMissing);
    const auto platform = choosePlatform(*available_, config_.platformKey);
    if (!platform) return setStatus(kPackageMissing);
    const QUrl url(platform->url, QUrl::StrictMode);
    if (!isAllowedLocation(url, config_.urlPolicy)) return setStatus(kPackageMissing);

    setBusy(true);
    setStatus(kDownloading);
    auto work = makePrivateDir(config_.tempDir, "Vorpix-update-");
    if (!work) return fail(kUpdateFailed + QString::fromStdString(work.error().message));
    workDir_ = *work;
    download_ = std::make_unique<QFile>(qpath(workDir_ / "Vorpix-update.zip"));
    if (!download_->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return fail(kUpdateFailed + download_->errorString());
    }
    downloadedBytes_ = 0;
    downloadFailure_.clear();

    QNetworkReply* reply = network_->get(makeRequest(url, config_.transferTimeoutMs));
    downloadReply_ = reply;
    guardRedirects(reply, config_.urlPolicy);
    connect(reply, &QNetworkReply::readyRead, this, &Updater::onDownloadData);
    connect(reply, &QNetworkReply::finished, this,
            [this, sha256 = platform->sha256, signature = platform->signature] {
                finishDownload(sha256, signature);
            });
}

void Updater::onDownloadData() {
    if (!downloadReply_ || !download_ || !downloadFailure_.isEmpty()) return;
    const QByteArray data = downloadReply_->readAll();
    downloadedBytes_ += data.size();
    if (downloadedBytes_ > config_.maxPackageBytes) {
        downloadFailure_ = QStringLiteral("The download is larger than any Vorpix package.");
    } else if (download_->write(data) != data.size()) {
        downloadFailure_ = download_->errorString();
    }
    if (!downloadFailure_.isEmpty()) downloadReply_->abort();
}

void Updater::finishDownload(const QString& expectedSha256, const QString& signature) {
    QNetworkReply* reply = downloadReply_;
    if (reply == nullptr) return;
    onDownloadData();
    reply->deleteLater();
    downloadReply_ = nullptr;
    if (!downloadFailure_.isEmpty()) return fail(kUpdateFailed + downloadFailure_);
    if (reply->error() != QNetworkReply::NoError) return fail(kUpdateFailed + reply->errorString());
    if (!download_->flush()) return fail(kUpdateFailed + download_->errorString());
    download_->close();

    const fs::path zip = fs::path(download_->fileName().toStdString());
    runInBackground(
        [zip, expectedSha256, signature, key = config_.publicKey] {
            return verifyPackage(zip, expectedSha256, signature, key);
        },
        [this, zip](bool verified) {
            if (!verified) return fail(kChecksumMismatch);
            setStatus(kInstalling);
            PrepareRequest request{
                zip, workDir_, config_.appFolder, available_->version, config_.unzipLimits, 10000};
            runInBackground([request] { return prepareUpdate(request); },
                            [this](const Result<PreparedUpdate>& prepared) { finishPrepare(prepared); });
        });
}

void Updater::finishPrepare(const Result<PreparedUpdate>& prepared) {
    if (!prepared) return fail(kUpdateFailed + QString::fromStdString(prepared.error().message));
    stagingDir_ = prepared->stagingDir;
    const InstallerArguments args{config_.waitForPid,  prepared->newApp, config_.appFolder,
                                  stagingDir_ / "old", stagingDir_,      workDir_};
    if (auto launched = launchInstaller(workDir_ / "vorpix-install.sh", args); !launched) {
        return fail(kUpdateFailed + QString::fromStdString(launched.error().message));
    }
    launched_ = true;
    emit quitRequested();
}

void Updater::fail(const QString& message) {
    setStatus(message);
    cleanUp();
    setBusy(false);
}

void Updater::cleanUp() {
    download_.reset();
    removeTreeQuietly(stagingDir_);
    removeTreeQuietly(workDir_);
    stagingDir_.clear();
    workDir_.clear();
}

template <class Job, class Done>
void Updater::runInBackground(Job job, Done done) {
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([this, job = std::move(job), done = std::move(done)]() mutable {
        auto result = job();
        QMetaObject::invokeMethod(
            this, [done = std::move(done), result = std::move(result)]() mutable { done(result); },
            Qt::QueuedConnection);
    });
}

}  // namespace vorpix::update
