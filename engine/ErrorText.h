#pragma once
// The texts the Status column and the log show for a failure code.

#include <cstdint>
#include <string>

namespace vireo {

// Codes of the system's own failures; 1..999 are HTTP status codes, larger ones socket
// errors passed through.
enum ErrorCode : int {
    ErrCreateFile = -1,
    ErrParseUrl = -2,
    ErrCreateSocket = -3,
    ErrConnect = -4,
    ErrAsyncStart = -5,
    ErrCreateProtocol = -6,
    ErrAttempts = -7,
    ErrCorrupted = -8,
    ErrOpenFile = -9,
    ErrDiskFull = -10,
    ErrFormat = -11,
    // Beyond the original codes: secure connections and endless redirects.
    ErrCertificate = -12,
    ErrTlsHandshake = -13,
    ErrTooManyRedirects = -14,
    // The finished file does not have the digest it was given with.
    ErrChecksum = -15,
};

// receivedBytes fills the text of ErrAttempts ("(%d)").
std::string ErrorText(int code, int64_t receivedBytes);

} // namespace vireo
