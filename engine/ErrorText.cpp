#include "engine/ErrorText.h"

namespace vireo {

std::string ErrorText(int code, int64_t receivedBytes) {
    switch (code) {
    case ErrCreateFile:
        return "error creating file";
    case ErrParseUrl:
        return "error parsing url";
    case ErrCreateSocket:
        return "error createing socket";
    case ErrConnect:
        return "can't establish connection";
    case ErrAsyncStart:
        return "error starting async process";
    case ErrCreateProtocol:
        return "error creating protocol";
    case ErrAttempts:
        return "(" + std::to_string(receivedBytes) + ")";
    case ErrCorrupted:
        return "file corrupted";
    case ErrOpenFile:
        return "error opening file";
    case ErrDiskFull:
        return "disk full";
    case ErrFormat:
        return "unsupported format";
    case ErrCertificate:
        return "certificate error";
    case ErrTlsHandshake:
        return "secure connection failed";
    case ErrTooManyRedirects:
        return "too many redirects";
    case ErrChecksum:
        return "checksum mismatch";
    case 400:
        return "bad request";
    case 401:
        return "unauthorized";
    case 403:
        return "forbidden";
    case 404:
        return "file not found";
    default:
        return "err: " + std::to_string(code);
    }
}

} // namespace vireo
