#pragma once

// Updater: checks the update endpoint for a newer Vorpix, downloads the
// package, verifies its SHA-256 and Ed25519 signature, unpacks it, and hands
// the installed application folder over to an installer script that replaces
// it once this program has quit.
//
// Main thread only. Built by the application's composition root with its
// dependencies; nothing here reads settings or global state. Blocking file work
// (verification, unpacking) runs on one short-lived worker thread whose
// results come back to the main thread as queued calls.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "update/Endpoint.h"
#include "update/Manifest.h"
#include "update/SafeUnzip.h"

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

namespace vorpix::update {

struct PreparedUpdate;

enum class CheckMode {
    quiet,        // the launch check: reports only a newer version
    interactive,  // "Check for Updates…": reports every outcome
};

struct UpdaterConfig {
    QUrl baseUrl;                     // endpoint base; see endpointBaseUrl()
    QString currentVersion;           // this build's version; empty counts as "0"
    std::filesystem::path appFolder;  // the installed application folder (holds bin/vorpix)
    QByteArray publicKey;             // Ed25519 release key, 32 raw bytes
    qint64 waitForPid = 0;            // the process the installer waits for (this program)
    std::filesystem::path tempDir;    // the system's temporary folder
    QString platformKey = update::platformKey();
    UrlPolicy urlPolicy = UrlPolicy::httpsOnly;  // tests alone allow loopback HTTP
    UnzipLimits unzipLimits;
    qint64 maxPackageBytes = qint64{1} << 30;  // larger downloads are abandoned
    int transferTimeoutMs = 30000;             // a stalled request fails after this long
};

// The configuration of a released program, for the composition root:
// `updateUrlSetting` is the value of the setting "updateURL" (blank: the
// build's endpoint), `executable` this program's path (its application folder
// is the parent of its bin folder), `pid` this process, `tempDir` the system's
// temporary folder. HTTPS only, the compiled-in release key, this machine's
// platform key.
UpdaterConfig releaseConfig(const QString& updateUrlSetting, const QString& version,
                            const std::filesystem::path& executable, qint64 pid,
                            const std::filesystem::path& tempDir);

class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(bool showSheet READ showSheet WRITE setShowSheet NOTIFY showSheetChanged)

public:
    explicit Updater(UpdaterConfig config, QObject* parent = nullptr);
    ~Updater() override;

    // Fetches the manifest and records a newer version in `available`. Does
    // nothing while `busy`. A second check replaces one still in flight.
    // Emits checkFinished() when done.
    void check(CheckMode mode);

    // Downloads, verifies and prepares the `available` version, starts the
    // installer script and emits quitRequested(); every failure ends in
    // `status` with `busy` false. Does nothing while `busy`.
    void install();

    const std::optional<Manifest>& available() const { return available_; }
    const QString& status() const { return status_; }
    bool busy() const { return busy_; }
    bool showSheet() const { return showSheet_; }
    void setShowSheet(bool show);

    // This build's version as the update sheet shows it ("0" when unknown).
    QString currentVersion() const;
    // False for a folder the system's package manager owns; see isSelfUpdatable().
    bool selfUpdatable() const { return selfUpdatable_; }

signals:
    void statusChanged();
    void busyChanged();
    void showSheetChanged();
    void availableChanged();
    void checkFinished();
    // The installer is running and waits for this process: quit now.
    void quitRequested();

private:
    void setStatus(const QString& status);
    void setBusy(bool busy);
    void finishCheck(QNetworkReply* reply, CheckMode mode);
    void onDownloadData();
    void finishDownload(const QString& expectedSha256, const QString& signature);
    void finishPrepare(const Result<PreparedUpdate>& prepared);
    void fail(const QString& message);
    void cleanUp();
    template <class Job, class Done>
    void runInBackground(Job job, Done done);

    UpdaterConfig config_;
    bool selfUpdatable_ = false;
    QNetworkAccessManager* network_ = nullptr;  // child of this

    std::optional<Manifest> available_;
    QString status_;
    bool busy_ = false;
    bool showSheet_ = false;

    QPointer<QNetworkReply> checkReply_;
    QPointer<QNetworkReply> downloadReply_;
    std::unique_ptr<QFile> download_;
    qint64 downloadedBytes_ = 0;
    QString downloadFailure_;           // why the download was abandoned; empty while it goes well
    bool launched_ = false;             // the installer runs and owns the work and staging folders
    std::filesystem::path workDir_;     // private folder of the install in progress
    std::filesystem::path stagingDir_;  // beside the app folder once prepared
    std::thread worker_;                // joined before the next job and on destruction
};

}  // namespace vorpix::update
