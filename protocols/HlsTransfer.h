#pragma once
// The recording of an HTTP Live Streaming playlist into one file. The job fetches, one
// after the other over HTTP, the playlist (for a master playlist, then the variant of the
// highest bandwidth within the settings' cap), each key, the initialisation section and
// every segment, and appends the segments in media sequence order to the target file,
// decrypted when the playlist says AES-128. A playlist without an end is reloaded every
// target duration and recorded until the user stops it. After each segment the state of
// the recording is kept with the file, so that a later start continues at the next
// segment; a live playlist that has moved past it while the recording was stopped
// continues at its first segment.
//
// Each fetch has the item's time-out; one that fails ends the attempt, and the next
// attempt fetches it again, until the item's attempts are used up. A segment done gives
// the next fetch its attempts afresh.

#include "engine/StreamState.h"
#include "engine/TransferJob.h"
#include "protocols/ChunkedDecoder.h"
#include "protocols/HlsPlaylist.h"
#include "protocols/HttpHeaderBuffer.h"
#include "protocols/HttpVerdict.h"
#include "protocols/Inflater.h"

#include <deque>
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
    enum class Phase { Playlist, Key, Init, Segment, Waiting };

    Step Fetch(Phase phase, const std::string& url);
    Step OnHeader(size_t headerLength);
    Step Body(const char* data, size_t count);
    bool Keep(const char* data, size_t count);
    Step Fetched();
    Step OnPlaylist();
    Step OnMediaPlaylist(const HlsPlaylist& list);
    // The kept state continues this recording: the file is cut to its whole segments.
    void ResumeFromState();
    Step OnSegment();
    Step Next();
    void SaveState();
    void Drop();
    Step Broken(const std::string& why, int code);

    Phase m_phase = Phase::Playlist;
    std::string m_fetchUrl; // what the current fetch asks for (after redirects)
    int m_redirects = 0;
    ConnectionPtr m_socket;
    bool m_asked = false;
    bool m_inBody = false;
    HttpHeaderBuffer m_header;
    HttpBody m_body;
    ChunkedDecoder m_chunks;
    std::unique_ptr<Inflater> m_inflater;
    int64_t m_wireBytes = 0;
    std::string m_data;

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
    int m_reloadWait = 0;
    std::string m_keyUri;
    std::string m_key;
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
