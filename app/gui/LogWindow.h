#pragma once
// The live view of one item's transfer log: one row per line of the log file, numbered
// records with the image of their kind, every other line (dump rows, second lines of a
// record) as a continuation row. The log tells the window of each line it writes; at
// most one log window exists at a time.

#include "app/gui/ToolWindow.h"
#include "log/LogWindowSink.h"

#include <string>
#include <string_view>
#include <vector>

class QAction;

namespace vireo {

class sListView;
class TransferLog;

class LogWindow : public ToolWindow, public LogWindowSink {
    Q_OBJECT
public:
    enum Column { ColNum = 0, ColCont = 1 };

    // Attaches to log, fills the list from its file and shows the window, titled with
    // the item's target file name.
    LogWindow(TransferLog& log, const QString& fileName, CVireoDoc* doc);
    ~LogWindow() override;

    void OnLogRecordAdded(const TransferLog& log) override;
    // Detaches, stores the placement and destroys the window before returning.
    void CloseLogWindow(TransferLog& log) override;

    sListView& List() { return *m_list; }
    // Null once the window has let go of its log.
    TransferLog* Log() const { return m_log; }
    QAction* Action(int commandId) const;

    // The commands.
    void Save();                          // asks for a file, then copies the log there
    void SaveTo(const std::string& path); // copies the log there
    void ClearList();                     // deletes the log file and every row
    void ShowAbout();
    void SendReport(); // asks for the description, then sends the report with the log

    // The row image of a record kind: E 1, ! 2, O 3, I 4, R 5, anything else 0.
    static int KindImage(char kind);
    // Lines end at CR, LF or CR LF; each is trimmed of bytes 0x00..0x20 at both ends and
    // empty ones are dropped.
    static std::vector<std::string> SplitLines(std::string_view text);
    void AddLine(const std::string& line);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildCommands();
    void FillFromFile();
    void AddText(std::string_view text);
    // Lets go of the log and stores the placement; once.
    void Detach();

    sListView* m_list = nullptr;
    TransferLog* m_log = nullptr;
    std::vector<std::pair<int, QAction*>> m_actions;
};

} // namespace vireo
