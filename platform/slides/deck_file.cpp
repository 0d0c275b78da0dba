// What a deck file says of itself, before the office suite is asked: its kind by name, whether
// it is a deck at all, and whether a password protects it.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include "platform/slides/automation.h"

namespace tovra::slides {

namespace {

const QByteArray kCompoundFileSignature = QByteArray::fromHex("D0CF11E0A1B11AE1");
const QByteArray kZipSignature("PK\x03\x04", 4);

uint32_t Le32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
uint16_t Le16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

// One member of a zip package, inflated; empty when it is missing, too large or damaged.
QByteArray ZipMember(QFile& file, const char* wanted, qint64 maxBytes) {
    const qint64 size = file.size();
    // The end record sits in the last 64 KiB (its comment is at most 65535 bytes).
    const qint64 tailStart = std::max<qint64>(0, size - 65557);
    if (!file.seek(tailStart)) return {};
    const QByteArray tail = file.read(size - tailStart);
    const qsizetype end = tail.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || tail.size() - end < 22) return {};
    const uint32_t dirSize = Le32(tail.constData() + end + 12);
    const uint32_t dirOffset = Le32(tail.constData() + end + 16);
    if (dirSize > (16u << 20) || !file.seek(dirOffset)) return {};
    const QByteArray dir = file.read(dirSize);
    const size_t nameLength = std::strlen(wanted);
    for (qsizetype at = 0; at + 46 <= dir.size() && Le32(dir.constData() + at) == 0x02014b50;) {
        const char* entry = dir.constData() + at;
        const uint16_t method = Le16(entry + 10);
        const uint32_t packed = Le32(entry + 20);
        const uint32_t unpacked = Le32(entry + 24);
        const uint16_t nameLen = Le16(entry + 28);
        const uint16_t extraLen = Le16(entry + 30);
        const uint16_t commentLen = Le16(entry + 32);
        const uint32_t local = Le32(entry + 42);
        if (at + 46 + nameLen > dir.size()) return {};
        if (nameLen == nameLength && std::memcmp(entry + 46, wanted, nameLength) == 0) {
            if (unpacked > maxBytes || packed > maxBytes || !file.seek(local)) return {};
            const QByteArray head = file.read(30);
            if (head.size() < 30 || Le32(head.constData()) != 0x04034b50) return {};
            if (!file.seek(local + 30 + Le16(head.constData() + 26) + Le16(head.constData() + 28))) return {};
            const QByteArray data = file.read(packed);
            if (data.size() != static_cast<qsizetype>(packed)) return {};
            if (method == 0) return data;
            if (method != 8) return {};
            QByteArray out(static_cast<qsizetype>(unpacked), '\0');
            z_stream z{};
            if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return {};
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
            z.avail_in = static_cast<uInt>(data.size());
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = static_cast<uInt>(out.size());
            const int result = inflate(&z, Z_FINISH);
            inflateEnd(&z);
            return result == Z_STREAM_END ? out : QByteArray();
        }
        at += 46 + nameLen + extraLen + commentLen;
    }
    return {};
}

}  // namespace

int TimeLimitMs(long long bytes) {
    constexpr long long kMiB = 1 << 20;
    const long long ms = 90000 + (std::max(0LL, bytes) + kMiB - 1) / kMiB * 15000;
    return static_cast<int>(std::min<long long>(ms, 60LL * 60 * 1000));
}

bool IsDeckFileName(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    return std::any_of(std::begin(kDeckEndings), std::end(kDeckEndings), [&](const char* ending) {
        const size_t n = std::strlen(ending);
        return name.size() > n && name.compare(name.size() - n, n, ending) == 0;
    });
}

bool IsPasswordProtected(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(8 << 20);
    if (head.startsWith(kCompoundFileSignature)) {
        // The compound file's directory names the streams in UTF-16LE: PowerPoint's encryption
        // keeps "EncryptedSummary", an encrypted Office Open XML package "EncryptionInfo".
        for (const char* stream : {"EncryptedSummary", "EncryptionInfo", "EncryptedPackage"}) {
            const QString name = QString::fromLatin1(stream);
            const QByteArray utf16(reinterpret_cast<const char*>(name.utf16()), name.size() * 2);
            if (head.contains(utf16)) return true;
        }
        return false;
    }
    // An encrypted OpenDocument package says so in its manifest.
    if (head.startsWith(kZipSignature)) {
        return ZipMember(file, "META-INF/manifest.xml", 4 << 20).contains("encryption-data");
    }
    return false;
}

DeckFileCheck CheckDeckFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) return DeckFileCheck::Unreadable;
    if (file.size() == 0) return DeckFileCheck::Empty;
    const QByteArray head = file.read(8);
    file.close();
    if (!head.startsWith(kCompoundFileSignature) && !head.startsWith(kZipSignature)) return DeckFileCheck::NotADeck;
    return IsPasswordProtected(path) ? DeckFileCheck::Protected : DeckFileCheck::Ok;
}

}  // namespace tovra::slides
