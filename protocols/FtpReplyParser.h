#pragma once
// Splits the bytes of an FTP control connection into replies. It keeps what it has not
// used yet, so a reply cut across reads is taken once its last line is complete, and
// several replies that arrive in one read come out one at a time, in order. It never
// reads a socket.
//
// A line ends at LF (a CR before it is dropped); a CR elsewhere and a NUL are ordinary
// bytes of the line. A reply starts with a line of three digits followed by a space, a
// hyphen or the end of the line; after a hyphen the reply goes on until a line that
// starts with the same three digits and a space (or is just those digits). Lines that
// start no reply are skipped.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

struct FtpReply {
    int code = 0;
    std::vector<std::string> lines; // without their line ends

    // The lines joined by CR LF, with control bytes shown as '.', for the log.
    std::string LogText() const;
};

class FtpReplyParser {
public:
    // More bytes than this without a complete reply (skipped lines included) is no
    // server we can talk to.
    static constexpr size_t kMaxReply = 64 * 1024;

    enum class Result { NeedMore, Reply, Error };

    void Feed(const char* data, size_t count);
    void Feed(std::string_view bytes) { Feed(bytes.data(), bytes.size()); }
    // Takes the next complete reply into *reply. Error once the reply in progress has
    // grown past kMaxReply; it stays so until Reset.
    Result Next(FtpReply* reply);
    void Reset() { *this = FtpReplyParser(); }
    // Bytes held for replies not yet complete.
    size_t Pending() const { return m_buffer.size() - m_pos + m_taken; }

private:
    // Takes one complete line; true when it completed a reply.
    bool TakeLine(std::string_view line);

    std::string m_buffer;
    size_t m_pos = 0;      // first byte not yet taken as part of a line
    size_t m_searched = 0; // bytes from m_pos known to hold no LF
    size_t m_taken = 0;    // bytes of the reply in progress already taken as lines
    FtpReply m_current;    // no lines while no reply has started
    bool m_multiline = false;
    bool m_error = false;
};

} // namespace vireo
