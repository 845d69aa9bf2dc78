#include "engine/Checksum.h"

#include "common/AsciiCase.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QMetaObject>

#include <thread>

namespace vireo {

namespace {
struct DigestKind {
    DigestType type;
    const char* name;
    size_t hexLength;
    QCryptographicHash::Algorithm algorithm;
};
constexpr DigestKind kKinds[] = {
    {DigestType::Sha256, "sha-256", 64, QCryptographicHash::Sha256},
    {DigestType::Sha1, "sha-1", 40, QCryptographicHash::Sha1},
    {DigestType::Md5, "md5", 32, QCryptographicHash::Md5},
};

const DigestKind* KindOf(DigestType type) {
    for (const DigestKind& kind : kKinds)
        if (kind.type == type)
            return &kind;
    return nullptr;
}

// Where the results of the hashing threads are delivered: lives to the end of the program.
QObject& ResultTarget() {
    static QObject* target = new QObject;
    return *target;
}
} // namespace

std::string DigestName(DigestType type) {
    const DigestKind* kind = KindOf(type);
    return kind ? kind->name : "";
}

std::string ExpectedDigest::Text() const {
    return Valid() ? DigestName(type) + "=" + hex : std::string();
}

ExpectedDigest ParseDigestText(std::string_view text) {
    size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return {};
    std::string name = AsciiLower(text.substr(0, equals));
    std::string hex = AsciiLower(text.substr(equals + 1));
    for (const DigestKind& kind : kKinds) {
        if (name != kind.name)
            continue;
        if (hex.size() != kind.hexLength ||
            hex.find_first_not_of("0123456789abcdef") != std::string::npos)
            return {};
        return ExpectedDigest{kind.type, hex};
    }
    return {};
}

std::string HashFileHex(const std::string& path, DigestType type) {
    const DigestKind* kind = KindOf(type);
    QFile file(QString::fromStdString(path));
    if (!kind || !file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(kind->algorithm);
    if (!hash.addData(&file) || !file.atEnd())
        return {};
    return hash.result().toHex().toStdString();
}

void HashFileLater(const std::string& path, DigestType type,
                   std::function<void(const std::string& hex)> done) {
    QObject* target = &ResultTarget();
    std::thread([path, type, target, done = std::move(done)]() mutable {
        std::string hex = HashFileHex(path, type);
        QMetaObject::invokeMethod(
            target, [hex = std::move(hex), done = std::move(done)] { done(hex); },
            Qt::QueuedConnection);
    }).detach();
}

} // namespace vireo
