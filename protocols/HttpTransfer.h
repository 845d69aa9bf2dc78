#pragma once
// The transfer for http and https addresses (and ftp ones while a proxy fetches them):
// one GET, direct or through the proxy, resumed with a range, the body decoded before it
// reaches the file, and the response judged when it ends. With the setting "segments"
// above 1, a large file whose server takes ranges goes on in several segments (see
// HttpSegments) after the first answer, and a later start continues them.

#include "engine/TransferJob.h"
#include "protocols/ChunkedDecoder.h"
#include "protocols/HeaderTable.h"
#include "protocols/HttpHeaderBuffer.h"
#include "protocols/HttpSegments.h"
#include "protocols/Inflater.h"

#include <memory>
#include <string>

namespace vireo {

struct HttpBody;

class HttpTransfer : public TransferJob {
public:
    // Past this many bytes without the end of the response header the attempt ends.
    // Interim answers before it count towards it.
    static constexpr size_t kMaxHeader = 64 * 1024;

    HttpTransfer(JobHost* item, std::string host, std::string path, int port, bool tls);
    ~HttpTransfer() override;

    size_t MemoryUse() const override;
    void CloseSockets() override;

    const HeaderTable& Header() const { return m_header; }
    // 1: the request line carries the whole URL; 2: only the path.
    int RequestMode() const { return m_requestMode; }

protected:
    Step OnConnected(Connection* connection) override;
    Step OnClosed(Connection* connection) override;
    Step OnData(Connection* connection, const char* data, size_t count) override;
    int64_t PlainBytesOn(const Connection* connection) const override;
    Step OnPiped(Connection* connection, int pipeFd, size_t count) override;
    Step OnWritable(Connection* connection) override;
    Step Connect() override;
    Step OnTick() override;
    // A metafile is followed instead of finishing; an answer ending otherwise than its
    // length said is logged.
    Step BeforeFinish() override;

private:
    enum class Tunnel { None, Connecting, Awaiting, Open };

    friend class HttpSegments;
    // Files larger than this are worth fetching in segments.
    static constexpr int64_t kMinSegmented = 2 * 1024 * 1024;

    // Whether the first answer (just judged, its body about to follow) lets the rest of
    // the file come in segments.
    bool SegmentsWanted(const HttpBody& body) const;
    Step StartSegments(size_t headerLength);
    // At the start of an attempt: segments kept with the file go on. False when there are
    // none to continue (step is untouched then).
    bool ResumeSegments(Step* step);
    Step OnTunnelReply(const char* data, size_t count);
    // The part on disk is no part of what the server has now: cut it and ask for the
    // whole file again. Not a failed attempt.
    Step StartOver(const std::string& why);
    // The header is complete: judges it (see HttpVerdict) and acts on the verdict.
    Step OnHeader(size_t headerLength);
    // Logs the lines of m_header as received.
    void LogHeader();
    Step Body(const char* data, size_t count);
    Step CodedBody(const char* data, size_t count);
    Step FinishCoded();
    Step FollowMetafile();
    bool IsCoded() const { return m_chunked || m_inflater; }

    HeaderTable m_header;
    int m_requestMode = 2;
    ConnectionPtr m_socket;
    bool m_headerDone = false; // the answer judged is the one whose body follows
    bool m_judged = false;     // the answer was judged for its end (no look at its file)
    HttpHeaderBuffer m_headerBuffer;
    bool m_tls;
    Tunnel m_tunnel = Tunnel::None;
    bool m_chunked = false;
    ChunkedDecoder m_chunks;
    std::unique_ptr<Inflater> m_inflater;
    int64_t m_wireLength = -1; // Content-Length of a coded body
    int64_t m_wireBytes = 0;
    size_t m_interimBytes = 0; // of the interim answers before this one
    bool m_excess = false;     // bytes past Content-Length came and were dropped
    std::unique_ptr<HttpSegments> m_segments;
    bool m_noSegments = false; // the server ignored a segment's range: one connection
};

} // namespace vireo
