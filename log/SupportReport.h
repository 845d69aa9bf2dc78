#pragma once
// The text of a support report: line-tagged fields, then the item's log file unchanged.
// The server fills in "&*date" and "&*ip" itself, so they are sent literally.

#include <string>

namespace vireo {

struct SupportReportFields {
    std::string name;
    std::string email;
    std::string comments; // may hold line breaks
};

// The report around the given log content (empty when the log could not be read).
std::string BuildSupportReport(const SupportReportFields& fields, const std::string& log);
// Reads the log file at logPath; a file that cannot be read gives an empty log section.
std::string BuildSupportReportFromFile(const SupportReportFields& fields,
                                       const std::string& logPath);

} // namespace vireo
