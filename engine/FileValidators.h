#pragma once
// What the server said about a file when its first byte arrived, kept with the partial
// file so that a later resume appends only to the same version of it.

#include <cstdint>
#include <string>
#include <string_view>

namespace vireo {

struct FileValidators {
    std::string etag;         // a strong entity tag, quotes included
    std::string lastModified; // the Last-Modified date exactly as the server sent it
    std::string mdtm;         // the FTP server's modification time (YYYYMMDDHHMMSS[.s])
    int64_t total = -1;       // size of the whole file, -1 when unknown

    bool Empty() const { return etag.empty() && lastModified.empty() && mdtm.empty() && total < 0; }
    // The value of an If-Range header: the entity tag, else the date; empty for neither.
    const std::string& IfRange() const { return etag.empty() ? lastModified : etag; }
    bool operator==(const FileValidators&) const = default;
};

// One "name value" line a field; empty fields are left out.
std::string FormatValidators(const FileValidators& v);
// Reads what FormatValidators wrote. The text comes from the file system and anybody may
// have written it: unknown lines are skipped, and a value that could not have come from a
// server (control bytes, an implausible length or number) is dropped.
FileValidators ParseValidators(std::string_view text);
// A strong entity tag from an ETag header value; empty for a weak or malformed one.
std::string StrongEtag(std::string_view value);

} // namespace vireo
