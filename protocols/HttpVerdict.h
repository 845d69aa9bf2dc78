#pragma once
// What a complete HTTP response header means for the transfer that asked, judged from the
// header and the facts of the request alone: no socket, no file, no log. The transfer
// logs what the verdict lists and then acts on its one decision.

#include "engine/FileValidators.h"
#include "protocols/HeaderTable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vireo {

// What the request asked for and what the transfer held when it asked.
struct HttpAsked {
    std::string url;       // the item's address (redirects resolve against it)
    int64_t held = 0;      // bytes on disk: the request asked from this offset
    bool viaProxy = false; // the request went to the configured proxy
    bool wholeUrl = false; // the request line named the whole address, not the path
    FileValidators stored; // what the server said of the part on disk
};

// How the body of an accepted answer reaches the file.
struct HttpBody {
    int64_t contentLength = -1; // -1 when the answer names none
    int64_t size = 0;           // size of the whole file once received, 0 while unknown
    bool chunked = false;
    bool inflate = false;       // gzip or deflate: decoded before the file
    int64_t wireLength = -1;    // a coded body's own length, -1 when it ends otherwise
    bool fromFirstByte = false; // the answer is the whole file: the part on disk goes
    bool storeValidators = false;
    FileValidators validators; // kept with the file when storeValidators

    bool Coded() const { return chunked || inflate; }
    // Nothing follows the header: the file is whole (and empty) as it is.
    bool Empty() const { return !Coded() && contentLength == 0; }
};

struct HttpVerdict {
    enum class Kind {
        Body,      // the body is the file's (or the rest of it): see body
        Redirect,  // the item starts again at url
        Retry,     // this attempt ends; the next one asks again
        StartOver, // the part on disk is not of this file: cut it and ask for all of it
        Whole,     // the file on disk is whole already
        Fail,      // the item fails with code
    };
    struct Record {
        std::string text;
        char kind;
        bool operator==(const Record&) const = default;
    };

    Kind kind = Kind::Retry;
    // Lines for the transfer log, in order, before the transfer acts.
    std::vector<Record> records;
    // Why the attempt failed, for the item's failure cause; empty when nothing is named.
    std::string cause;
    bool askCredentials = false; // the server wants a login (401)
    // The size the transfer holds while it acts: the file's when the body follows or the
    // file is whole, else what Content-Length named (0 for none).
    int64_t size = 0;
    int code = 0;             // Fail
    std::string url;          // Redirect
    std::string why;          // StartOver
    bool askWholeUrl = false; // Retry: the next request line names the whole address
    HttpBody body;            // Body
};

// Judges a complete, final (not interim) response header.
HttpVerdict JudgeHttpResponse(const HeaderTable& header, const HttpAsked& asked);

// What one segment's request asked for: bytes first to last of the version the stored
// validators name.
struct SegmentAsked {
    std::string url;
    int64_t first = 0;
    int64_t last = 0;
    FileValidators stored;
};

struct SegmentVerdict {
    enum class Kind {
        Body,      // bytes first to last follow (last may be less than asked)
        WholeFile, // the whole file follows instead: no segments for it
        StartOver, // another version of the file: what is on disk is not of it
        Redirect,  // the address moved: the item starts again at url
        Retry,     // this segment's attempt failed
    };
    Kind kind = Kind::Retry;
    int64_t last = -1;     // Body
    bool sameFile = false; // WholeFile: nothing says the file changed (ranges are ignored)
    std::string why;       // StartOver, WholeFile, Retry: in plain words
    std::string url;       // Redirect
};

// Judges the final answer to a segment's request.
SegmentVerdict JudgeSegmentResponse(const HeaderTable& header, const SegmentAsked& asked);

// The status line in plain words ("HTTP 503 Service Unavailable").
std::string HttpStatusWords(const HeaderTable& header);

// Why a range answer is of another version of the file than the part on disk (the
// stored validators); empty when nothing says so. total is the range's total, -1 if none.
std::string ChangedSince(const HeaderTable& header, const FileValidators& stored, int64_t total);

} // namespace vireo
