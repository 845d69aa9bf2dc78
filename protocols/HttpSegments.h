#pragma once
// The connections of an HTTP download in several segments. Each fetch asks for its piece
// of the file with a range conditional on the file's validator and writes what arrives
// at the piece's offset in the one target file; a fetch whose piece is done asks for the
// next (see SegmentPlan), on the same connection when its answer ended there. The
// missing ranges are kept with the file a few times a second and when the transfer
// stops, so that a later start continues every piece.
//
// The fetches belong to the transfer (HttpTransfer) and use its attempts, log and file;
// like its handlers, theirs return a Step for the transfer to act on.

#include "engine/Connection.h"
#include "engine/SegmentPlan.h"
#include "engine/TransferJob.h"
#include "protocols/HttpHeaderBuffer.h"

#include <chrono>
#include <string>
#include <vector>

namespace vireo {

class HttpTransfer;

class HttpSegments {
public:
    static constexpr int kMaxConnections = 16;

    HttpSegments(HttpTransfer& job, SegmentPlan plan, int connections);
    ~HttpSegments();
    HttpSegments(const HttpSegments&) = delete;
    HttpSegments& operator=(const HttpSegments&) = delete;

    // The first answer's connection, its body under way at the plan's first missing byte
    // and running to the end of the file, fetches the first piece; the others open.
    Step Adopt(ConnectionPtr connection, const char* rest, size_t count);
    // A start from the state kept with the file: every connection opens.
    Step Open();

    bool Owns(const Connection* connection) const;
    Step OnConnected(Connection* connection);
    Step OnWritable(Connection* connection);
    Step OnData(Connection* connection, const char* data, size_t count);
    // How many of the connection's next bytes belong to its piece as they come (they may
    // then arrive through the pipe), and those bytes waiting in the pipe.
    int64_t PlainBytes(const Connection* connection) const;
    Step OnPiped(Connection* connection, int pipeFd, size_t count);
    Step OnClosed(Connection* connection);
    // Time-outs, the waits after failed connections, and the state kept each second.
    Step OnTick();

    // Keeps the missing ranges with the file, then closes every connection. Nothing is
    // kept once the segments have ended (the file is whole, or another start was chosen).
    void Close();
    const SegmentPlan& Plan() const { return m_plan; }

private:
    struct Fetch {
        enum class Phase { Idle, Connecting, Asking, Body, Waiting };
        int number = 0; // in the log, from 1
        ConnectionPtr connection;
        Phase phase = Phase::Idle;
        int piece = -1;
        int64_t from = 0;     // the first byte the current answer carries
        int64_t wireNext = 0; // offset of the next byte it carries
        int64_t wireEnd = 0;  // one past the last
        bool reusable = false;
        HttpHeaderBuffer header;
        int countdown = -1;
    };

    Fetch* FetchOf(const Connection* connection);
    void Record(const Fetch& f, const std::string& text, char kind);
    Step Connect(Fetch& f);
    Step TakeAndConnect(Fetch& f);
    void Ask(Fetch& f);
    Step OnHeader(Fetch& f, size_t headerLength);
    Step Body(Fetch& f, const char* data, size_t count);
    // Bytes of the piece the fetch has written (the rest of count lay past its end).
    Step Took(Fetch& f, int64_t useful, size_t count);
    const Fetch* FetchOf(const Connection* connection) const;
    Step PieceDone(Fetch& f);
    // A fetch that went wrong: one of the item's attempts; the others go on.
    Step Failure(Fetch& f, const std::string& why, bool waitFirst);
    // The server will not give this file in segments: another start decides.
    Step GiveUp(Fetch& f, const std::string& why, bool sameFile);
    void Drop(Fetch& f);
    void SaveNow();

    HttpTransfer& m_job;
    SegmentPlan m_plan;
    std::vector<Fetch> m_fetches;
    std::string m_ifRange;
    bool m_ended = false;
    bool m_dirty = false;
    std::chrono::steady_clock::time_point m_lastSave;
};

} // namespace vireo
