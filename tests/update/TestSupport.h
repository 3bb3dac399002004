#pragma once

// Helpers for the update tests: a Qt event loop, zip files
// built byte by byte (so hostile entries can be anything), fake application
// folders and a small HTTP server on 127.0.0.1.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace vorpix::update::test {

namespace fs = std::filesystem;

// Runs the Qt event loop until `done` is true or `timeoutMs` passed; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// The shared temporary folder (tests/support), under the name these tests use.
using TempDir = vorpix::testing::TempFolder;

void writeFile(const fs::path& path, const QByteArray& data, fs::perms perms = fs::perms(0644));
QByteArray readFile(const fs::path& path);

// One zip entry. `mode` is the full Unix mode (type and permission bits);
// `declaredSize` overrides the uncompressed size written into the headers.
struct ZipEntry {
    std::string name;
    std::uint32_t mode = 0100644;
    QByteArray data;
    std::optional<std::uint32_t> declaredSize;
};

ZipEntry fileEntry(std::string name, QByteArray data, std::uint32_t perms = 0644);
ZipEntry dirEntry(std::string name);
ZipEntry linkEntry(std::string name, QByteArray target);

// A zip archive with stored (uncompressed) entries and Unix modes.
QByteArray makeZip(const std::vector<ZipEntry>& entries);

// Entries for everything below `folder`, named relative to it.
std::vector<ZipEntry> entriesOf(const fs::path& folder);

// A fake application folder: bin/vorpix is a shell script that answers
// "--version" with "vorpix <version>" and otherwise writes "<version>\n<$0>\n"
// to `startedMarker`; plus the self-update marker and a library symlink.
void makeFakeApp(const fs::path& folder, const std::string& version, const fs::path& startedMarker);

// Every path below `folder` with its type, permissions and contents, to
// show that a folder was left untouched.
std::map<std::string, std::string> snapshot(const fs::path& folder);

// Paths below `folder` whose file name starts with `prefix`.
std::vector<fs::path> findNamed(const fs::path& folder, const std::string& prefix);

// An HTTP/1.1 server on 127.0.0.1 with fixed answers per path. Each
// connection gets one answer and is closed.
class LoopbackServer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray location;  // sent as a Location header when not empty
        bool hangUp = false;  // close the connection without answering
        bool hold = false;    // never answer

        static Response answer(int status, QByteArray body = {}) {
            return {status, std::move(body), {}, false, false};
        }
        static Response redirect(QByteArray location) { return {302, {}, std::move(location), false, false}; }
        static Response hangingUp() { return {200, {}, {}, true, false}; }
        static Response holding() { return {200, {}, {}, false, true}; }
    };

    LoopbackServer();
    QUrl base() const;
    QUrl url(const QString& path) const;
    void route(const QString& path, Response response) { routes_[path] = std::move(response); }
    const QStringList& requests() const { return requests_; }

private:
    QTcpServer server_;
    std::map<QString, Response> routes_;
    QStringList requests_;  // request paths in arrival order
};

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort();

}  // namespace vorpix::update::test

// Readable gtest failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '{';
    for (qsizetype i = 0; i < list.size(); ++i) *out << (i ? ", \"" : "\"") << list[i].toStdString() << '"';
    *out << '}';
}
