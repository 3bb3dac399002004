#include "update/SafeUnzip.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "update/Errors.h"

namespace vorpix::update {
namespace fs = std::filesystem;

namespace {

struct ReadFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteFree {
    void operator()(archive* a) const { archive_write_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ReadFree>;
using ArchiveWriter = std::unique_ptr<archive, WriteFree>;

constexpr std::size_t kReadBlockBytes = 64 * 1024;

Error unsafe(const std::string& name, const std::string& why) {
    return makeError(domain::kUpdate, errc::kUnsafeArchive,
                     "The package entry \"" + name + "\" " + why + ".");
}

Error unreadable(archive* a) {
    const char* text = archive_error_string(a);
    return makeError(
        domain::kUpdate, errc::kUnpack,
        std::string("The package could not be unpacked: ") + (text ? text : "unknown error") + ".");
}

bool hasDotDot(std::string_view path) {
    while (!path.empty()) {
        const auto slash = path.find('/');
        if (path.substr(0, slash) == "..") return true;
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return false;
}

// Checks one entry's name, type and link target; an error when it is refused.
Result<void> checkEntry(archive_entry* entry, const std::string& name) {
    if (name.empty()) return unsafe(name, "has no name");
    if (name.front() == '/') return unsafe(name, "has an absolute path");
    if (hasDotDot(name)) return unsafe(name, "leaves the package folder");
    if (name.find('\0') != std::string::npos) return unsafe(name, "has a malformed name");
    if (archive_entry_hardlink(entry) != nullptr) return unsafe(name, "is a hard link");
    switch (archive_entry_filetype(entry)) {
        case AE_IFREG:
        case AE_IFDIR:
            return {};
        case AE_IFLNK: {
            const char* target = archive_entry_symlink(entry);
            if (target == nullptr || *target == '\0') return unsafe(name, "is a link without a target");
            if (target[0] == '/' || hasDotDot(target))
                return unsafe(name, "links outside the package folder");
            return {};
        }
        default:
            return unsafe(name, "is a device or special file");
    }
}

}  // namespace

Result<void> safeUnzip(const fs::path& zip, const fs::path& folder, const UnzipLimits& limits) {
    // libarchive's secure-symlink check refuses paths through any symbolic
    // link, including links above the destination such as a linked /tmp.
    std::error_code ec;
    const fs::path root = fs::canonical(folder, ec);
    if (ec) {
        return makeError(domain::kUpdate, errc::kFiles,
                         "The unpack folder is missing: " + ec.message() + ".");
    }

    ArchiveReader reader(archive_read_new());
    ArchiveWriter writer(archive_write_disk_new());
    if (!reader || !writer) return makeError(domain::kUpdate, errc::kUnpack, "Out of memory.");
    archive_read_support_format_zip(reader.get());
    archive_write_disk_set_options(
        writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_NO_OVERWRITE |
                          ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT);
    if (archive_read_open_filename(reader.get(), zip.c_str(), kReadBlockBytes) != ARCHIVE_OK) {
        return unreadable(reader.get());
    }

    std::int64_t entries = 0;
    std::int64_t totalBytes = 0;
    while (true) {
        archive_entry* entry = nullptr;
        const int next = archive_read_next_header(reader.get(), &entry);
        if (next == ARCHIVE_EOF) break;
        if (next < ARCHIVE_WARN) return unreadable(reader.get());

        const char* rawName = archive_entry_pathname(entry);
        const std::string name = rawName ? rawName : "";
        if (++entries > limits.maxEntries)
            return unsafe(name, "exceeds the number of files a package may hold");
        if (auto checked = checkEntry(entry, name); !checked) return checked;
        if (archive_entry_size_is_set(entry)) {
            const std::int64_t declared = archive_entry_size(entry);
            if (declared < 0 || declared > limits.maxEntryBytes ||
                declared > limits.maxTotalBytes - totalBytes) {
                return unsafe(name, "declares an absurd size");
            }
        }

        const bool isDir = archive_entry_filetype(entry) == AE_IFDIR;
        archive_entry_set_perm(entry, isDir ? 0755 : ((archive_entry_perm(entry) & 0755) | 0644));
        archive_entry_set_pathname(entry, (root / name).c_str());
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) return unreadable(writer.get());

        if (archive_entry_filetype(entry) == AE_IFREG) {
            std::int64_t written = 0;
            while (true) {
                const void* block = nullptr;
                size_t size = 0;
                la_int64_t offset = 0;
                const int read = archive_read_data_block(reader.get(), &block, &size, &offset);
                if (read == ARCHIVE_EOF) break;
                if (read < ARCHIVE_WARN) return unreadable(reader.get());
                written += static_cast<std::int64_t>(size);
                totalBytes += static_cast<std::int64_t>(size);
                if (written > limits.maxEntryBytes || totalBytes > limits.maxTotalBytes) {
                    return unsafe(name, "unpacks to an absurd size");
                }
                if (archive_write_data_block(writer.get(), block, size, offset) < ARCHIVE_WARN) {
                    return unreadable(writer.get());
                }
            }
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) return unreadable(writer.get());
    }
    if (archive_write_close(writer.get()) < ARCHIVE_WARN) return unreadable(writer.get());
    return {};
}

}  // namespace vorpix::update
