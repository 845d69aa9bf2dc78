#include "protocols/PnaTemplate.h"

#include "common/ByteBuffer.h"
#include "common/Endian.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstring>

// Outside any namespace, as Qt requires: keeps the resource in the static library linked.
static void InitPnaResource() {
    Q_INIT_RESOURCE(pna);
}

namespace vireo {

namespace {
std::array<uint8_t, PnaTemplate::kBufferSize> g_template{}; // zero-filled at start-up
bool g_loaded = false;
} // namespace

bool PnaTemplate::Load() {
    InitPnaResource();
    ByteBuffer stored;
    if (!stored.LoadResource("VDATA/166"))
        return false;
    size_t n = std::min(stored.Size(), kBufferSize);
    std::memcpy(g_template.data(), stored.Data(), n);
    g_loaded = true;
    return true;
}

bool PnaTemplate::IsLoaded() {
    return g_loaded;
}

std::string_view PnaTemplate::Buffer() {
    return {reinterpret_cast<const char*>(g_template.data()), g_template.size()};
}

std::optional<std::string> PnaTemplate::BuildRequest(std::string_view path) {
    if (!path.empty() && path.front() == '/')
        path.remove_prefix(1);
    if (path.size() > kMaxPath)
        return std::nullopt;
    std::array<uint8_t, kBufferSize> request{};
    std::memcpy(request.data(), g_template.data(), kCopied);
    WriteBE16(request.data() + kPathLengthOffset, uint16_t(path.size()));
    std::memcpy(request.data() + kPathOffset, path.data(), path.size());
    request[kPathOffset + path.size()] = 'y';
    request[kPathOffset + path.size() + 1] = 'B';
    return std::string(reinterpret_cast<const char*>(request.data()),
                       kPathOffset + path.size() + 2);
}

} // namespace vireo
