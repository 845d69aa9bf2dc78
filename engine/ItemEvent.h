#pragma once
// Notifications an item passes to its owner.

#include <string>
#include <vector>

namespace vireo {

enum ItemNotification : int {
    NotifyWritten = 1,      // a block was written
    NotifyFailed = 2,       // arg: the error code
    NotifyFinished = 3,     // the item is complete
    NotifyAttempt = 4,      // a (new) attempt began, or the display changed
    NotifyStarted = 6,      // the item was started
    NotifyAddressKnown = 7, // the server address is known, connecting
    NotifyMoreUrls = 8,     // urls: further addresses found in a stream metafile
    NotifyCredentials = 9,  // the server asks for a user name and password
};

struct ItemEvent {
    int code = 0;
    int arg = 0;
    std::vector<std::string> urls;
};

} // namespace vireo
