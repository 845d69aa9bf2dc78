#include "app/host/NativeMessaging.h"

#include "engine/TextCoding.h"
#include "engine/UrlParts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cstring>

namespace vireo::host {

Frame ReadFrame(std::FILE* in, quint32 limit) {
    Frame frame;
    unsigned char head[4];
    size_t got = std::fread(head, 1, sizeof head, in);
    if (got == 0) {
        frame.status = FrameStatus::End;
        return frame;
    }
    if (got < sizeof head) {
        frame.status = FrameStatus::Truncated;
        return frame;
    }
    quint32 length = 0;
    std::memcpy(&length, head, sizeof length); // the machine's own byte order
    if (length > limit) {
        frame.status = FrameStatus::TooLarge;
        return frame;
    }
    frame.body.resize(qsizetype(length));
    if (std::fread(frame.body.data(), 1, length, in) != length) {
        frame.body.clear();
        frame.status = FrameStatus::Truncated;
        return frame;
    }
    frame.status = FrameStatus::Message;
    return frame;
}

QByteArray Framed(const QByteArray& json) {
    quint32 length = quint32(json.size());
    QByteArray out(reinterpret_cast<const char*>(&length), sizeof length);
    return out + json;
}

bool IsDownloadAddress(std::string_view text) {
    std::string address = TrimText(text);
    if (address.empty() || HasControlByte(address) || address.find("://") == std::string::npos)
        return false;
    address = NormalizeUrl(address);
    if (!IsValidUrl(address))
        return false;
    UrlKind kind = ClassifyScheme(address);
    return kind == UrlHttp || kind == UrlFtp || kind == UrlPnm;
}

Request ParseRequest(const QByteArray& body) {
    Request request;
    QJsonParseError parseError;
    QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        request.error = "malformed message";
        return request;
    }
    QJsonValue url = doc.object().value("url");
    if (!url.isString()) {
        request.error = "no address in the message";
        return request;
    }
    QString address = url.toString().trimmed();
    if (!IsDownloadAddress(address.toStdString())) {
        request.error = "not an address to download";
        return request;
    }
    request.address = address;
    return request;
}

QByteArray OkAnswer() {
    return QJsonDocument(QJsonObject{{"ok", true}}).toJson(QJsonDocument::Compact);
}

QByteArray ErrorAnswer(const QString& error) {
    return QJsonDocument(QJsonObject{{"ok", false}, {"error", error}})
        .toJson(QJsonDocument::Compact);
}

} // namespace vireo::host
