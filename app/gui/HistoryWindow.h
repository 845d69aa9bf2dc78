#pragma once
// The window of the download history: one row per record of the history file (date,
// file, address, as the column setting selects), the addresses saved to a text file,
// the history cleared, and a row dragged onto the download list as its address.

#include "app/gui/ToolWindow.h"
#include "history/HistoryEntry.h"
#include "history/HistoryWindowSink.h"

#include <map>
#include <string>
#include <vector>

class QAction;
class QMimeData;

namespace vireo {

class sListView;

class HistoryWindow : public ToolWindow, public HistoryWindowSink {
    Q_OBJECT
public:
    // Column bits of "historycolumns". BitCheck is no setting: the checksum column shows
    // whenever a download of the history had its digest checked.
    enum ColumnBit { BitFile = 1, BitUrl = 2, BitDate = 4, BitCheck = 8 };

    // Attaches to store, reads its file and shows the window.
    HistoryWindow(HistoryStore& store, CVireoDoc* doc);
    ~HistoryWindow() override;

    // Detaches, stores the placement and destroys the window before returning.
    void CloseHistoryWindow(HistoryStore& store) override;

    sListView& List() { return *m_list; }
    HistoryStore* Store() const { return m_store; }
    QAction* Action(int commandId) const;
    // The records behind the rows, in row order.
    const std::vector<HistoryEntry>& Entries() const { return m_entries; }

    // The commands.
    void Save();                          // asks for a file, then writes the addresses
    bool SaveTo(const std::string& path); // every row's address and CR LF
    void ClearHistory();                  // a fresh history file, no rows
    void ShowAbout();

    // The address of the selected row and CR LF as plain text; null without a selection.
    QMimeData* DragData() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildCommands();
    void BuildColumns();
    void Fill();
    // Lets go of the store and stores the placement; once.
    void Detach();

    sListView* m_list = nullptr;
    HistoryStore* m_store = nullptr;
    std::vector<HistoryEntry> m_entries;
    // How the digest checks went, by file (beside the history file).
    std::map<std::string, std::string> m_checks;
    // What each column shows, in column order.
    std::vector<ColumnBit> m_columns;
    std::vector<std::pair<int, QAction*>> m_actions;
};

} // namespace vireo
