#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <array>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace vorpix::update::test {
namespace {

// One QCoreApplication for the whole test program (network and timers need it).
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "update_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

std::uint32_t crc32(const QByteArray& data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char byte : data) c = table[(c ^ static_cast<std::uint8_t>(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void put16(QByteArray& out, std::uint32_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}
void put32(QByteArray& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;  // wakes the blocking wait below so `done` is checked at least every 5 ms
    tick.start(5);
    while (!done()) {
        if (elapsed.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

void writeFile(const fs::path& path, const QByteArray& data, fs::perms perms) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(data.constData(), data.size());
    fs::permissions(path, perms);
}

QByteArray readFile(const fs::path& path) {
    QFile file(QString::fromStdString(path.native()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ZipEntry fileEntry(std::string name, QByteArray data, std::uint32_t perms) {
    return {std::move(name), 0100000u | perms, std::move(data), std::nullopt};
}
ZipEntry dirEntry(std::string name) {
    return {std::move(name), 040755u, {}, std::nullopt};
}
ZipEntry linkEntry(std::string name, QByteArray target) {
    return {std::move(name), 0120777u, std::move(target), std::nullopt};
}

QByteArray makeZip(const std::vector<ZipEntry>& entries) {
    QByteArray out;
    QByteArray central;
    constexpr std::uint32_t kDosTime = 0;
    constexpr std::uint32_t kDosDate = (45u << 9) | (1u << 5) | 1u;  // 2025-01-01
    for (const ZipEntry& e : entries) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        const std::uint32_t crc = crc32(e.data);
        const auto size = static_cast<std::uint32_t>(e.data.size());
        const std::uint32_t declared = e.declaredSize.value_or(size);
        const auto nameLength = static_cast<std::uint32_t>(e.name.size());

        put32(out, 0x04034b50);  // local file header
        put16(out, 20);
        put16(out, 0);  // flags
        put16(out, 0);  // stored
        put16(out, kDosTime);
        put16(out, kDosDate);
        put32(out, crc);
        put32(out, size);
        put32(out, declared);
        put16(out, nameLength);
        put16(out, 0);
        out.append(e.name.data(), static_cast<qsizetype>(e.name.size()));
        out.append(e.data);

        put32(central, 0x02014b50);       // central directory header
        put16(central, (3u << 8) | 20u);  // made by Unix
        put16(central, 20);
        put16(central, 0);
        put16(central, 0);
        put16(central, kDosTime);
        put16(central, kDosDate);
        put32(central, crc);
        put32(central, size);
        put32(central, declared);
        put16(central, nameLength);
        put16(central, 0);  // extra
        put16(central, 0);  // comment
        put16(central, 0);  // disk
        put16(central, 0);  // internal attributes
        put32(central, e.mode << 16);
        put32(central, offset);
        central.append(e.name.data(), static_cast<qsizetype>(e.name.size()));
    }
    const auto centralOffset = static_cast<std::uint32_t>(out.size());
    out.append(central);
    put32(out, 0x06054b50);  // end of central directory
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
    return out;
}

std::vector<ZipEntry> entriesOf(const fs::path& folder) {
    std::vector<fs::path> paths;
    for (const auto& item : fs::recursive_directory_iterator(folder)) paths.push_back(item.path());
    std::sort(paths.begin(), paths.end());
    std::vector<ZipEntry> entries;
    for (const fs::path& path : paths) {
        const std::string name = path.lexically_relative(folder).generic_string();
        const auto status = fs::symlink_status(path);
        const auto perms = static_cast<std::uint32_t>(status.permissions());
        if (fs::is_symlink(status)) {
            entries.push_back(linkEntry(name, QByteArray::fromStdString(fs::read_symlink(path).native())));
        } else if (fs::is_directory(status)) {
            entries.push_back(dirEntry(name + "/"));
        } else {
            entries.push_back(fileEntry(name, readFile(path), perms));
        }
    }
    return entries;
}

void makeFakeApp(const fs::path& folder, const std::string& version, const fs::path& startedMarker) {
    const std::string script =
        "#!/bin/sh\n"
        "if [ \"$1\" = --version ]; then echo \"vorpix " +
        version +
        "\"; exit 0; fi\n"
        "printf '%s\\n%s\\n' '" +
        version + "' \"$0\" > '" + startedMarker.native() + "'\n";
    writeFile(folder / "bin/vorpix", QByteArray::fromStdString(script), fs::perms(0755));
    writeFile(folder / "share/vorpix/self-update", "self-update\n");
    writeFile(folder / "lib/libvorpix-extra.so.1.0", QByteArray::fromStdString("library " + version));
    fs::create_symlink("libvorpix-extra.so.1.0", folder / "lib/libvorpix-extra.so.1");
}

std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto status = fs::symlink_status(it->path());
        std::string value = std::to_string(static_cast<int>(status.type())) + ":" +
                            std::to_string(static_cast<int>(status.permissions())) + ":";
        if (fs::is_symlink(status)) {
            value += fs::read_symlink(it->path()).native();
        } else if (fs::is_regular_file(status)) {
            value += readFile(it->path()).toStdString();
        }
        out[it->path().lexically_relative(folder).native()] = value;
    }
    return out;
}

std::vector<fs::path> findNamed(const fs::path& folder, const std::string& prefix) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().native().rfind(prefix, 0) == 0) found.push_back(it->path());
    }
    return found;
}

LoopbackServer::LoopbackServer() {
    if (!server_.listen(QHostAddress::LocalHost, 0)) std::abort();
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto request = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
                request->append(socket->readAll());
                if (!request->contains("\r\n\r\n")) return;
                const QList<QByteArray> line = request->left(request->indexOf("\r\n")).split(' ');
                request->clear();
                const QString path = line.size() >= 2 ? QString::fromLatin1(line[1]) : QString();
                requests_.append(path);
                const auto route = routes_.find(path);
                Response response =
                    route != routes_.end() ? route->second : Response{404, "no such path", {}, false, false};
                if (response.hold) return;
                if (response.hangUp) {
                    socket->abort();
                    return;
                }
                // The updater reads the status code only; one reason phrase does for all.
                QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
                if (!response.location.isEmpty()) head += "Location: " + response.location + "\r\n";
                if (response.status != 204)
                    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
                head += "Connection: close\r\n\r\n";
                socket->write(head);
                if (response.status != 204) socket->write(response.body);
                socket->disconnectFromHost();
            });
        }
    });
}

QUrl LoopbackServer::base() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
}

QUrl LoopbackServer::url(const QString& path) const {
    QUrl url = base();
    url.setPath(path);
    return url;
}

quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

}  // namespace vorpix::update::test
