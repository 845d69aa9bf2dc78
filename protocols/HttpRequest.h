#pragma once
// The GET requests the HTTP transfer sends, byte for byte.

#include <cstdint>
#include <string>

namespace vireo {

// target: the path, or the whole URL in proxy form; start: the resume offset (0 for a
// fresh download); authorization: the Authorization value, or empty; ifRange: the
// validator a resume is conditional on (an If-Range line), or empty.
std::string BuildHttpRequest(const std::string& target, const std::string& host, int64_t start,
                             const std::string& authorization,
                             const std::string& ifRange = std::string());

} // namespace vireo
