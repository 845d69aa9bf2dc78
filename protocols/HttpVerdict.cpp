#include "protocols/HttpVerdict.h"

#include "common/AsciiCase.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"

namespace vireo {

namespace {
std::string Trimmed(const std::string& text) {
    return AsciiLower(TrimText(text));
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

HttpVerdict Make(HttpVerdict::Kind kind, HttpVerdict v = {}) {
    v.kind = kind;
    return v;
}

// An answer that is not a success; its body never reaches the file.
HttpVerdict JudgeFailure(const HeaderTable& header, const HttpAsked& asked, HttpVerdict v) {
    using Kind = HttpVerdict::Kind;
    int status = header.Status();
    if (IsRedirect(status)) {
        std::string location = TrimText(header.Find("Location"));
        if (location.empty())
            return Make(Kind::Retry, std::move(v));
        v.records.push_back({"redirect to location: " + location, '!'});
        v.url = NormalizeUrl(ResolveUrl(asked.url, location));
        return Make(Kind::Redirect, std::move(v));
    }
    v.cause = HttpStatusWords(header);
    if (status == 401) {
        v.code = 401;
        return Make(Kind::Fail, std::move(v));
    }
    if (status == 416 && asked.held > 0) {
        ContentRange range;
        bool known = ParseContentRange(header.Find("Content-range"), &range);
        if (known && range.total == asked.held) {
            v.size = asked.held;
            return Make(Kind::Whole, std::move(v));
        }
        if (known && range.total >= 0 && range.total < asked.held) {
            v.why = "the file on the server is " + std::to_string(range.total) +
                    " bytes, shorter than the " + std::to_string(asked.held) + " on disk";
            return Make(Kind::StartOver, std::move(v));
        }
    }
    if (status >= 400 && status <= 499) {
        // Some servers know the file only by its whole address: ask once more with it.
        if ((status == 404 || status == 400) && !asked.viaProxy && !asked.wholeUrl) {
            v.askWholeUrl = true;
            return Make(Kind::Retry, std::move(v));
        }
        v.code = status;
        return Make(Kind::Fail, std::move(v));
    }
    return Make(Kind::Retry, std::move(v));
}

HttpVerdict Impossible(HttpVerdict v, const std::string& what) {
    v.records.push_back({"impossible " + what, 'E'});
    return Make(HttpVerdict::Kind::Retry, std::move(v));
}
} // namespace

std::string HttpStatusWords(const HeaderTable& header) {
    // "HTTP/1.1 503 Service Unavailable" reads "HTTP 503 Service Unavailable".
    std::string line = header.Count() ? header.Name(0) : std::string();
    size_t space = line.find(' ');
    if (space == std::string::npos)
        return "HTTP " + std::to_string(header.Status());
    return "HTTP " + TrimText(line.substr(space + 1));
}

std::string ChangedSince(const HeaderTable& header, const FileValidators& stored, int64_t total) {
    // A server that ignores If-Range still names the version it sends.
    std::string etag = StrongEtag(header.Find("ETag"));
    std::string modified = TrimText(header.Find("Last-Modified"));
    if (stored.total >= 0 && total >= 0 && total != stored.total)
        return "the file on the server is " + std::to_string(total) + " bytes now, not " +
               std::to_string(stored.total);
    if (!stored.etag.empty() && !etag.empty() && etag != stored.etag)
        return "the file on the server has the tag " + etag + " now, not " + stored.etag;
    if (stored.etag.empty() && !stored.lastModified.empty() && !modified.empty() &&
        modified != stored.lastModified)
        return "the file on the server was modified " + modified + ", not " + stored.lastModified;
    return {};
}

HttpVerdict JudgeHttpResponse(const HeaderTable& header, const HttpAsked& asked) {
    using Kind = HttpVerdict::Kind;
    HttpVerdict v;
    int status = header.Status();
    int64_t contentLength = header.FindNumber("Content-length");
    v.size = contentLength > 0 ? contentLength : 0;
    v.askCredentials = status == 401;
    if (status < 200 || status > 299)
        return JudgeFailure(header, asked, std::move(v));
    // Every number below is the server's: one that no file can have ends the attempt
    // before any arithmetic is done with it.
    if (contentLength == HeaderTable::kTooLarge)
        return Impossible(std::move(v),
                          "Content-Length: " + TrimText(header.Find("Content-length")));

    HttpBody& body = v.body;
    body.contentLength = contentLength;
    std::string coding = Trimmed(header.Find("Content-encoding"));
    bool coded = coding == "gzip" || coding == "x-gzip" || coding == "deflate";
    if (!coding.empty() && coding != "identity" && !coded)
        v.records.push_back({"unknown content coding: " + coding, 'E'});
    body.chunked = Trimmed(header.Find("Transfer-encoding")).find("chunked") != std::string::npos;

    int64_t held = asked.held;
    int64_t total = -1;
    if (status == 206) {
        // Only a range that starts where the file ends may be appended; anything else
        // starts the file over.
        ContentRange range;
        bool known = ParseContentRange(header.Find("Content-range"), &range);
        if (!known || range.first != held || coded) {
            std::string why = "range does not start at " + std::to_string(held);
            if (held != 0) {
                v.why = why;
                return Make(Kind::StartOver, std::move(v));
            }
            v.records.push_back({why, 'E'});
            return Make(Kind::Retry, std::move(v));
        }
        if (std::string why = RangeProblem(range, contentLength); !why.empty())
            return Impossible(std::move(v), "range: " + why);
        if (held != 0) {
            if (std::string why = ChangedSince(header, asked.stored, range.total); !why.empty()) {
                v.why = why;
                return Make(Kind::StartOver, std::move(v));
            }
        }
        if (contentLength >= 0)
            v.size = held + contentLength;
        else if (range.total >= 0)
            v.size = range.total;
        total = range.total;
    } else if (held != 0) {
        // Asked for the rest, the server sends all of it: the file changed since the part
        // on disk arrived, or the server takes no ranges.
        v.records.push_back(
            {"the server sends the whole file again, starting over from its first byte", '!'});
        body.fromFirstByte = true;
        held = 0;
    }
    if (status != 206 && !body.chunked && !coded && contentLength >= 0)
        total = contentLength;
    if (held == 0 || asked.stored.Empty()) {
        body.storeValidators = true;
        body.validators.etag = StrongEtag(header.Find("ETag"));
        body.validators.lastModified = TrimText(header.Find("Last-Modified"));
        body.validators.total = total;
    }
    if (body.chunked || coded) {
        // Completion is judged on the coded body; the file's own size is unknown until
        // the end.
        body.inflate = coded;
        body.wireLength = body.chunked ? -1 : contentLength;
        v.size = 0;
    }
    body.size = v.size;
    return Make(Kind::Body, std::move(v));
}

} // namespace vireo

namespace vireo {

SegmentVerdict JudgeSegmentResponse(const HeaderTable& header, const SegmentAsked& asked) {
    using Kind = SegmentVerdict::Kind;
    SegmentVerdict v;
    int status = header.Status();
    int64_t contentLength = header.FindNumber("Content-length");
    std::string coding = Trimmed(header.Find("Content-encoding"));
    if (IsRedirect(status)) {
        std::string location = TrimText(header.Find("Location"));
        if (location.empty()) {
            v.why = HttpStatusWords(header) + " without a location";
            return v;
        }
        v.kind = Kind::Redirect;
        v.url = NormalizeUrl(ResolveUrl(asked.url, location));
        return v;
    }
    if (status == 200) {
        v.kind = Kind::WholeFile;
        v.sameFile = ChangedSince(header, asked.stored, contentLength).empty();
        v.why = v.sameFile ? "the server sends the whole file instead of a range"
                           : "the file on the server has changed";
        return v;
    }
    if (status == 416) {
        v.kind = Kind::StartOver;
        v.why = "the server has no bytes " + std::to_string(asked.first) + "-" +
                std::to_string(asked.last) + " of the file now";
        return v;
    }
    if (status != 206) {
        v.why = HttpStatusWords(header);
        return v;
    }
    ContentRange range;
    if (!ParseContentRange(header.Find("Content-range"), &range) || range.first != asked.first ||
        range.last > asked.last || (!coding.empty() && coding != "identity") ||
        Trimmed(header.Find("Transfer-encoding")).find("chunked") != std::string::npos) {
        v.why = "range does not start at " + std::to_string(asked.first);
        return v;
    }
    if (std::string why = RangeProblem(range, contentLength); !why.empty()) {
        v.why = "impossible range: " + why;
        return v;
    }
    if (std::string why = ChangedSince(header, asked.stored, range.total); !why.empty()) {
        v.kind = Kind::StartOver;
        v.why = why;
        return v;
    }
    v.kind = Kind::Body;
    v.last = range.last;
    return v;
}

} // namespace vireo
