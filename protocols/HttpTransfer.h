#pragma once
// The transfer for http and https addresses (and ftp ones while a proxy fetches them):
// one GET, direct or through the proxy, resumed with a range, the body decoded before it
// reaches the file, and the response judged when it ends.

#include "engine/JobSocket.h"
#include "engine/TransferJob.h"
#include "protocols/ChunkedDecoder.h"
#include "protocols/HeaderTable.h"
#include "protocols/HttpHeaderBuffer.h"
#include "protocols/Inflater.h"

#include <memory>
#include <string>

namespace vireo {

class HttpTransfer : public TransferJob {
public:
    // Past this many bytes without the end of the response header the attempt ends.
    // Interim answers before it count towards it.
    static constexpr size_t kMaxHeader = 64 * 1024;

    HttpTransfer(JobHost* item, std::string host, std::string path, int port, bool tls);
    ~HttpTransfer() override;

    size_t MemoryUse() const override;
    void OnFinished() override;
    int OnClosed(JobSocket* socket) override;
    int OnData(JobSocket* socket, const char* data, size_t count) override;
    int OnWritable(JobSocket* socket) override;
    int Connect() override;
    void CloseSockets() override;

    const HeaderTable& Header() const { return m_header; }
    // 1: the request line carries the whole URL; 2: only the path.
    int RequestMode() const { return m_requestMode; }

private:
    enum class Tunnel { None, Connecting, Awaiting, Open };

    int OnTunnelReply(const char* data, size_t count);
    // The part on disk is no part of what the server has now: cut it and ask for the
    // whole file again. Not a failed attempt.
    int StartOver(const std::string& why);
    // The header is complete: judges it (see HttpVerdict) and acts on the verdict.
    int OnHeader(size_t headerLength);
    // Logs the lines of m_header as received.
    void LogHeader();
    int Body(const char* data, size_t count);
    int CodedBody(const char* data, size_t count);
    int FinishCoded();
    void FollowMetafile();
    bool IsCoded() const { return m_chunked || m_inflater; }

    HeaderTable m_header;
    int m_requestMode = 2;
    JobSocketPtr m_socket;
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
};

} // namespace vireo
