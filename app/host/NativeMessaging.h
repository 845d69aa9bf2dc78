#pragma once
// The browser side of the program: messages of the browser extension, as browsers pass
// them to a native host on its standard input (a 32-bit length in the machine's byte
// order, then that many bytes of UTF-8 JSON) and take its answers the same way.
//
// A request is {"url": "<address>"}; the answer is {"ok": true} or
// {"ok": false, "error": "<why>"}.

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <string_view>

namespace vireo::host {

// Larger requests are refused: an address is far smaller, and the browser's own limit on
// answers is 1 MB.
inline constexpr quint32 kMaxRequest = 64 * 1024;

enum class FrameStatus { Message, End, TooLarge, Truncated };
struct Frame {
    FrameStatus status = FrameStatus::End;
    QByteArray body;
};

// Reads one message. End: the input ended between messages. TooLarge: the length is
// above limit (the body is not read; the stream cannot be trusted after it). Truncated:
// the input ended inside a message.
Frame ReadFrame(std::FILE* in, quint32 limit = kMaxRequest);
// The message as it goes out: length, then the bytes.
QByteArray Framed(const QByteArray& json);

// The address of a request, or why there is none (error is then not empty).
struct Request {
    QString address;
    QString error;
};
Request ParseRequest(const QByteArray& body);

// Whether text is a single address of a scheme the program downloads (http, https, ftp,
// pnm, rtsp), as Paste would complete it.
bool IsDownloadAddress(std::string_view text);

QByteArray OkAnswer();
QByteArray ErrorAnswer(const QString& error);

} // namespace vireo::host
