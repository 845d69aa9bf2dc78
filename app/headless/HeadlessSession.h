#pragma once
// One run of the terminal front end over a document: the run's own download directory
// and parallel downloads, the addresses to fetch, the end when nothing runs or waits, and
// the interruption.

#include "app/RunOptions.h"

#include <ostream>

namespace vireo {

class CVireoDoc;
class ProgressReport;
class TerminalUi;

class HeadlessSession {
public:
    static constexpr int kGoOn = -1;
    static constexpr int kUsageError = 2;
    // 128 + SIGINT: the status after Ctrl-C. Other signals give 128 + their number.
    static constexpr int kInterrupted = 130;
    static constexpr int SignalExitStatus(int signo) { return 128 + signo; }

    // ui, when given, answers for --user and --links.
    HeadlessSession(CVireoDoc& doc, const RunOptions& options, ProgressReport& report,
                    std::ostream& err, TerminalUi* ui = nullptr);

    // Applies -d and -j for this run only, starts the document and adds the addresses of
    // the command line and the list files (the last list when there are neither); each
    // address refused is told and makes the run end with 1. kGoOn when the run has begun,
    // else the exit status (the reason printed).
    int Begin();
    // True when no entry runs or waits any more.
    bool Finished() const;
    // Saves the last list and prints the summary; 0 when every entry is done and no
    // address was refused, else 1.
    int End();
    // Stops every transfer (partial files stay for a resume), saves the last list and
    // prints the summary; SignalExitStatus(signo), so kInterrupted for SIGINT.
    int Interrupt(int signo);

private:
    int UsageError(const std::string& reason);
    // Copies each entry's transfer log to --log-dir as "<file name>.log".
    void KeepLogs();
    // The password typed on the terminal, not echoed.
    static bool ReadPassword(const std::string& user, std::string& password);

    CVireoDoc& m_doc;
    const RunOptions& m_options;
    ProgressReport& m_report;
    std::ostream& m_err;
    TerminalUi* m_ui;
    int m_refused = 0; // addresses of the command line and the lists that gave no entry
};

// The whole front end: parses nothing, builds the document with a terminal interface,
// runs the event loop and returns the exit status.
int RunHeadless(const RunOptions& options, int argc, char** argv);

} // namespace vireo
