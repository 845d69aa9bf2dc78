#include "downloads/JobFactory.h"

#include "common/AsciiCase.h"
#include "protocols/FtpTransfer.h"
#include "protocols/HlsTransfer.h"
#include "protocols/HttpTransfer.h"
#include "protocols/PnmTransfer.h"
#include "settings/ProxyDetect.h"

namespace vireo {

std::unique_ptr<TransferJob> CreateTransferJob(JobHost* item, const std::string& url,
                                               const UrlParts& parts) {
    size_t colon = url.find(':');
    std::string scheme =
        colon == std::string::npos ? std::string() : AsciiLower(url.substr(0, colon));
    bool proxy = ProxyFor(url).found;
    if (scheme == "ftp" && !proxy)
        return std::make_unique<FtpTransfer>(item, parts.host, parts.path, parts.port);
    if (scheme == "pnm" || scheme == "rtsp")
        return std::make_unique<PnmTransfer>(item, parts.host, parts.path, parts.port);
    if (IsStreamPlaylist(url))
        return std::make_unique<HlsTransfer>(item, parts.host, parts.path, parts.port);
    // Everything else is fetched over HTTP, FTP too while a proxy fetches it for us.
    return std::make_unique<HttpTransfer>(item, parts.host, parts.path, parts.port,
                                          scheme == "https");
}

} // namespace vireo
