#include "log/SupportReport.h"

#include <fstream>
#include <iterator>

namespace vireo {

std::string BuildSupportReport(const SupportReportFields& fields, const std::string& log) {
    std::string r = "##new!\r\n##date: &*date\r\n";
    r += "##ip: &*ip\r\n";
    r += "##name: " + fields.name + "\r\n";
    r += "##email: " + fields.email + "\r\n";
    r += "##comments: " + fields.comments + "\r\n";
    r += "##report:\r\n";
    r += log;
    // A log cut short in the middle of a line would swallow the end tag, and the server
    // would never see where the report stops.
    if (!log.empty() && log.back() != '\n' && log.back() != '\r')
        r += "\r\n";
    r += "##end\r\n";
    return r;
}

std::string BuildSupportReportFromFile(const SupportReportFields& fields,
                                       const std::string& logPath) {
    std::string log;
    std::ifstream in(logPath, std::ios::binary);
    if (in)
        log.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return BuildSupportReport(fields, log);
}

} // namespace vireo
