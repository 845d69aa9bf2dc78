#include "common/SetAside.h"

#include <cstdio>
#include <sys/stat.h>

namespace vireo {

std::string SetAside(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    for (int n = 0; n < 1000; ++n) {
        std::string target = path + ".damaged" + (n == 0 ? std::string() : std::to_string(n));
        if (::lstat(target.c_str(), &st) == 0)
            continue;
        return std::rename(path.c_str(), target.c_str()) == 0 ? target : std::string();
    }
    return {};
}

} // namespace vireo
