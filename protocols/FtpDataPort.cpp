#include "protocols/FtpDataPort.h"

namespace vireo {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads up to 5 digits at pos; -1 when there are none.
int ReadNumber(std::string_view text, size_t* pos) {
    int value = 0;
    size_t digits = 0;
    while (*pos < text.size() && IsDigit(text[*pos]) && digits < 5) {
        value = value * 10 + (text[*pos] - '0');
        ++*pos;
        ++digits;
    }
    return digits == 0 ? -1 : value;
}

bool ValidPort(int port) {
    return port > 0 && port <= 65535;
}
} // namespace

std::string PortArgument(std::string_view dottedAddress, int port) {
    std::string text(dottedAddress);
    for (char& c : text)
        if (c == '.')
            c = ',';
    return text + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

std::string EprtArgument(std::string_view address, int port) {
    const char* family = address.find(':') == std::string_view::npos ? "1" : "2";
    return std::string("|") + family + "|" + std::string(address) + "|" + std::to_string(port) +
           "|";
}

int EpsvPort(std::string_view reply) {
    // After the code: "(" d d d port d ")", d being any printable delimiter.
    size_t open = reply.find('(', reply.size() > 3 ? 3 : 0);
    if (open == std::string_view::npos || open + 5 > reply.size())
        return -1;
    char d = reply[open + 1];
    if (reply[open + 2] != d || reply[open + 3] != d || IsDigit(d))
        return -1;
    size_t pos = open + 4;
    int port = ReadNumber(reply, &pos);
    if (pos >= reply.size() || reply[pos] != d || !ValidPort(port))
        return -1;
    return port;
}

int PasvPort(std::string_view reply) {
    // The first run of six comma-separated numbers after the code.
    for (size_t start = reply.size() > 3 ? 3 : 0; start < reply.size(); ++start) {
        if (!IsDigit(reply[start]) || (start > 0 && IsDigit(reply[start - 1])))
            continue;
        size_t pos = start;
        int numbers[6];
        int count = 0;
        while (count < 6) {
            numbers[count] = ReadNumber(reply, &pos);
            if (numbers[count] < 0 || numbers[count] > 255)
                break;
            ++count;
            if (count < 6) {
                if (pos >= reply.size() || reply[pos] != ',')
                    break;
                ++pos;
            }
        }
        if (count == 6) {
            int port = numbers[4] * 256 + numbers[5];
            return ValidPort(port) ? port : -1;
        }
    }
    return -1;
}

} // namespace vireo
