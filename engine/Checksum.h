#pragma once
// The digest a download is expected to have ("sha-256=HEX", as list files and the command
// line give it) and the hashing of a finished file, off the event loop's thread.

#include <QObject>

#include <functional>
#include <string>
#include <string_view>

namespace vireo {

enum class DigestType { None, Sha256, Sha1, Md5 };

struct ExpectedDigest {
    DigestType type = DigestType::None;
    std::string hex; // lower case, as long as the type's digest

    bool Valid() const { return type != DigestType::None; }
    // "sha-256=0123…", the form it was given in.
    std::string Text() const;
    bool operator==(const ExpectedDigest&) const = default;
};

// "sha-256", "sha-1" or "md5".
std::string DigestName(DigestType type);
// "TYPE=HEX" with TYPE sha-256, sha-1 or md5 (any case) and HEX of the type's length;
// an invalid digest otherwise.
ExpectedDigest ParseDigestText(std::string_view text);

// The file's digest in lower-case hexadecimal; empty when it cannot be read.
std::string HashFileHex(const std::string& path, DigestType type);
// The same on a thread of its own; done runs on the event loop's thread afterwards.
void HashFileLater(const std::string& path, DigestType type,
                   std::function<void(const std::string& hex)> done);

} // namespace vireo
