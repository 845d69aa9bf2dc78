#pragma once
// The recording of an HTTP Live Streaming playlist into one file. The job fetches over
// HTTP, directly or through the proxy an HTTP transfer of the address would use, the
// playlist (for a master playlist, then the variant of the highest bandwidth within the
// settings' cap), each key, the initialisation sections and the segments, and appends the
// segments in media sequence order to the target file, decrypted when the playlist says
// AES-128. A playlist without an end is reloaded every target duration and recorded until
// the user stops it; a live playlist that has moved past the kept state while the
// recording was stopped continues at its first segment.
//
// Segments come over several connections at once (see Fetcher). One that arrives before
// those ahead of it waits in memory; a fetch starts only for the next few segments to
// write, so that what waits stays bounded. Playlists, keys and initialisation sections are
// small and come one at a time beside the segments. After each segment written the state
// of the recording is kept with the file, so that a later start continues at the next
// segment; segments that only reached memory are fetched again then.
//
// Each fetch has the item's time-out. One that fails spends one of the item's attempts
// and is asked again while the others go on; when the attempts are used up the item
// fails. A segment received gives the attempts back.

#include "engine/StreamState.h"
#include "engine/TransferJob.h"
#include "protocols/ChunkedDecoder.h"
#include "protocols/HlsPlaylist.h"
#include "protocols/HttpHeaderBuffer.h"
#include "protocols/HttpVerdict.h"
#include "protocols/Inflater.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vireo {

class HlsTransfer : public TransferJob {
public:
    // Most bytes a playlist or key may have, and a segment.
    static constexpr size_t kMaxPlaylist = 8 * 1024 * 1024;
    static constexpr size_t kMaxSegment = 512 * 1024 * 1024;
    // Redirects one fetch follows.
    static constexpr int kMaxRedirects = 20;
    // Segment fetches at once: this many, or the setting "segments" when it is higher, up
    // to the most.
    static constexpr int kMinConnections = 4;
    static constexpr int kMaxConnections = 16;

    HlsTransfer(JobHost* item, std::string host, std::string path, int port);
    ~HlsTransfer() override;

    size_t MemoryUse() const override;
    std::string Describe() const override;
    void CloseSockets() override;

    // Segments written and, for a playlist with an end, how many it has (0 while unknown
    // or live).
    int SegmentsDone() const { return m_done; }
    int SegmentsTotal() const { return m_total; }
    Parts PartsDone() const override { return {m_done, m_total}; }

protected:
    Step Connect() override;
    Step OnConnected(Connection* connection) override;
    Step OnWritable(Connection* connection) override;
    Step OnData(Connection* connection, const char* data, size_t count) override;
    Step OnClosed(Connection* connection) override;
    Step OnTick() override;

private:
    enum class Phase { Playlist, Key, Init, Segment };

    // One GET at a time on a connection of its own, redirects followed.
    struct Fetcher {
        enum class State { Idle, Tunnel, TunnelReply, Connecting, Asking, Body, Waiting };
        Phase phase = Phase::Segment;
        State state = State::Idle;
        ConnectionPtr connection;
        std::string name;     // the address as the playlist wrote it
        std::string url;      // what it asks for, after redirects
        int64_t sequence = 0; // of the segment
        int redirects = 0;
        bool viaProxy = false;
        bool lookedUp = false; // connects to the address the attempt looked up
        bool tls = false;
        HttpHeaderBuffer header;
        HttpBody body;
        ChunkedDecoder chunks;
        std::unique_ptr<Inflater> inflater;
        int64_t wireBytes = 0;
        int countdown = -1;
        std::string data;
    };

    Fetcher& Control() { return m_fetchers.front(); }
    Fetcher* FetcherOf(const Connection* connection);
    bool InFlight(int64_t sequence) const;
    // Starts the control fetch (a playlist, key or initialisation section).
    Step Fetch(Phase phase, const std::string& url);
    Step Begin(Fetcher& f, Phase phase, const std::string& url);
    Step Open(Fetcher& f);
    void Ask(Fetcher& f);
    Step ConnectFailed(Fetcher& f, Connection& connection);
    Step OnTunnelReply(Fetcher& f, const char* data, size_t count);
    Step OnHeader(Fetcher& f, size_t headerLength);
    Step Body(Fetcher& f, const char* data, size_t count);
    bool Keep(Fetcher& f, const char* data, size_t count);
    Step Fetched(Fetcher& f);
    // A fetch that went wrong: one of the item's attempts, then it is asked again (after
    // the time-out when the connection could not be made).
    Step Failure(Fetcher& f, const std::string& why, bool waitFirst, int kind = 0);
    Step OnPlaylist();
    Step OnMediaPlaylist(const HlsPlaylist& list);
    // The kept state continues this recording: the file is cut to its whole segments.
    void ResumeFromState();
    // Writes what has arrived in order, then starts the fetches that may start.
    Step Next();
    Step WriteReady();
    void ForgetUnused();
    void SaveState();
    void Drop(Fetcher& f);
    Step Broken(const std::string& why, int code);

    std::vector<Fetcher> m_fetchers; // the first fetches all but segments
    int m_connections = kMinConnections;
    std::string m_fetchUrl; // the playlist just fetched: its address after redirects
    std::string m_data;     // and its text

    std::string m_mediaUrl; // the media playlist recorded
    bool m_named = false;   // the target has its extension and the kept state was read
    StreamState m_resume;   // what the file kept when this start began
    // The master playlist's variants, to tell the item about the one the recording goes
    // on with.
    std::vector<HlsVariant> m_variants;
    bool m_firstRead = true; // no media playlist of this start has been read yet
    std::deque<HlsSegment> m_queue;
    int64_t m_next = -1; // media sequence number of the next segment to write
    bool m_live = false;
    bool m_endList = false;
    int m_targetDuration = 0;
    int m_sinceLoad = 0;                        // seconds since a live playlist was last loaded
    bool m_reloadDue = false;                   // the live playlist is to be loaded again
    std::map<int64_t, std::string> m_arrived;   // segments waiting for those before them
    std::map<std::string, std::string> m_keys;  // by address, while a segment needs them
    std::map<std::string, std::string> m_inits; // initialisation sections, by address
    std::string m_mapWritten;
    int m_done = 0;
    int m_total = 0;
};

// Whether an address is recorded as a stream playlist: its path ends in .m3u8, or an HTTP
// answer for it was typed as one (see NoteStreamPlaylist).
bool IsStreamPlaylist(const std::string& url);
// An answer for url said it is a stream playlist: the item's next start records it.
void NoteStreamPlaylist(const std::string& url);
// Whether a Content-Type names a stream playlist.
bool IsStreamPlaylistType(std::string_view contentType);

} // namespace vireo
