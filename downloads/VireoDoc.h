#pragma once
// The document: the face the front ends and the items see. It holds the entry list, the
// scheduler, the row presentation and the idle bookkeeping, each a class of its own, runs
// the 200 ms timer, and answers the items' notifications and the commands of the list.

#include "downloads/DocCommand.h"
#include "downloads/DocumentUi.h"
#include "downloads/DownloadItem.h"
#include "downloads/EntryList.h"
#include "downloads/IdleTracker.h"
#include "downloads/ItemRow.h"
#include "downloads/LinkFilter.h"
#include "downloads/ListLines.h"
#include "downloads/NullDocumentUi.h"
#include "downloads/RowPresenter.h"
#include "downloads/Scheduler.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class QObject;
class QTimer;

namespace vireo {

class ByteBuffer;

class CVireoDoc : public ItemOwner {
public:
    explicit CVireoDoc(ListLines* view = nullptr);
    ~CVireoDoc() override;
    CVireoDoc(const CVireoDoc&) = delete;
    CVireoDoc& operator=(const CVireoDoc&) = delete;

    void SetView(ListLines* view) { m_presenter.SetView(view); }
    ListLines* View() const { return m_presenter.View(); }
    // The front end's dialogs, clipboard, shell, tray and windows; null for none.
    void SetUi(DocumentUi* ui) { m_ui = ui ? ui : &m_nullUi; }
    DocumentUi& Ui() const { return *m_ui; }

    // ---- Start and end of a document
    // Stores the start directory, writes the first-run values, checks the download
    // directory (telling the user when it is replaced), takes the free slots from "maxdown"
    // and starts the 200 ms timer.
    bool OnNewDocument();
    // The addresses of the command line (words split again at spaces); none restores the
    // last list instead.
    void AddCommandLine(const std::vector<std::string>& words);
    // Saves the last list; called before the document goes away.
    void OnCloseDocument();

    // ---- Entries
    // Appends an entry for a valid address (harvested links must pass the link filter);
    // false when it is refused. options go with the entry (its digest, its speed limit).
    bool AddUrl(const std::string& address, bool filtered, const ItemOptions& options = {});
    std::string TargetPath(const std::string& address) override;
    void RefreshRow(DownloadItem& item);
    void UpdateRowIcon(DownloadItem& item, int index);
    int IndexOf(const DownloadItem& item) const { return m_entries.IndexOf(item); }
    // Removes entry i from the items, the rows and the view. The commands call it for
    // stopped entries only; nothing else should.
    void RemoveEntry(int index);

    int ItemCount() const { return m_entries.Count(); }
    DownloadItem& Item(int index) { return m_entries.Item(index); }
    const DownloadItem& Item(int index) const { return m_entries.Item(index); }
    // Row states change through SetItemState and the commands only: the scheduler keeps
    // the running entries and the first waiting row aside and must see every change.
    const ItemRow& Row(int index) const { return m_entries.Row(index); }
    ItemState State(int index) const { return m_entries.State(index); }
    // Marks a page whose links are queued once it is received (Insert link does).
    void SetLinkToPage(int index, bool on) { m_entries.Row(index).linkToPage = on ? 1 : 0; }

    void SetLinkFilter(LinkFilter filter) { m_filter = std::move(filter); }
    const LinkFilter& CurrentLinkFilter() const { return m_filter; }

    // ---- Scheduler
    // free slots = "maxdown" minus the running entries, never below 0.
    void RecountSlots();
    int FreeSlots() const { return m_scheduler.FreeSlots(); }
    int RunningCount() const { return m_scheduler.RunningCount(); }
    // The running entries in list order.
    const std::vector<DownloadItem*>& RunningItems() const { return m_scheduler.Running(); }
    bool HasWaitingEntries() const { return m_scheduler.HasWaiting(); }
    // Stores the row's state, recounts the slots when it was running, refreshes the row
    // and stops the item's transfer.
    void SetItemState(DownloadItem& item, ItemState state);
    // Starts one entry; false when it failed to start.
    bool StartEntry(DownloadItem& item);
    // Starts waiting entries in list order while slots are free.
    void Schedule();

    void OnTargetPathChanged(DownloadItem& item, const std::string& oldPath) override;
    // Makes the item of a new entry (tests give the document items of their own).
    virtual std::unique_ptr<DownloadItem> CreateItem(const std::string& url,
                                                     const std::string& targetPath);
    void OnItemEvent(DownloadItem& item, const ItemEvent& event) override;
    std::string StartPath(const DownloadItem& item, const std::string& path) override;
    // Asks for a user name and password for item, unless it has left the list. Reached
    // through a queued call, never inside the item's own notification.
    void OnCredentialsNeeded(DownloadItem* item);

    // ---- Timer
    // Every 200 ms: images of running rows; once a second their progress and elapsed
    // time; the tray's busy cycle; the idle hiding of the windows.
    void OnTick();
    int TickCounter() const { return m_presenter.TickCounter(); }
    bool TrayActive() const { return m_idle.TrayActive(); }
    void ShowAllWindows(bool show) { IdleTracker::ShowAllWindows(*m_ui, show); }
    // Seconds until the windows hide; -1 is off. Armed by the main window.
    int IdleCountdown() const { return m_idle.Countdown(); }
    void SetIdleCountdown(int seconds) { m_idle.SetCountdown(seconds); }
    // Above 0 while the main window is active or a dialog of the document is open; the
    // idle countdown runs only at 0; -1 while minimized.
    int ActivityCounter() const { return m_idle.Activity(); }
    void SetActivityCounter(int value) { m_idle.SetActivity(value); }
    void SetLogWindowFree(bool free) { m_logWindowFree = free; }
    void SetHistoryWindowFree(bool free) { m_historyWindowFree = free; }

    // ---- Commands
    // Whether the id is one of the document's commands.
    static bool HasCommand(int id);
    bool CommandEnabled(DocCommand command) const;
    // Runs the command when it is enabled.
    void RunCommand(DocCommand command);

    // ---- List files
    // Adds every valid address of a list text (one a line; CR, LF or CR LF; a NUL ends
    // the text). False when the text is empty.
    bool AddUrlsFromText(std::string_view text);
    // A list file the File menu offers again: adds its addresses; false (told to the user,
    // and the name offered no more) when it cannot be read.
    bool OpenListFile(const std::string& name);
    // Adds the address of every line; returns how many lines that hold something gave no
    // entry.
    int AddListLines(std::string_view text);
    // Every entry's address followed by CR LF, in list order.
    std::string ListText() const;
    // "lastlist.txt" in the start directory, while "keeplist" is on.
    std::string LastListPath() const;
    void SaveLastList();
    void RestoreLastList();

protected:
    // A finished page marked "link to page" arrives here with its contents; its links that
    // pass the filter of the settings are queued.
    virtual void HarvestLinks(const ByteBuffer& page, const std::string& url);
    // Gives an entry's target file the incomplete stamp, so the next start resumes it
    // instead of taking it as finished.
    virtual void MarkTargetIncomplete(DownloadItem& item);

private:
    using ModalScope = IdleTracker::ModalScope;
    enum class Needs : uint8_t;
    struct CommandEntry;
    static const CommandEntry* FindCommand(int id);
    bool Satisfied(Needs needs) const;

    // The one place a row's state changes.
    void ChangeState(int index, ItemState state);
    // Removes a stopped entry and forgets what the document keeps aside for it.
    void DeleteEntry(int index);
    int SelectedIndex() const;
    bool SelectedIdle() const; // selected and neither running nor waiting
    void PostCredentialsRequest(DownloadItem& item);
    void ReportUnparsable(const std::string& address);
    void HarvestFile(DownloadItem& item);

    void StopSelected();
    void StartSelected();
    void DeleteSelected();
    void Paste();
    void InsertLink();
    void StopAll();
    void StartAll();
    void ClearList();
    void OpenList();
    // Adds the addresses of a list file and offers it in the File menu from now on; false
    // when it cannot be read.
    bool LoadListFile(const std::string& name);
    void SaveList();
    void DeleteSelectedFile();
    void ShowSettings();

    EntryList m_entries;
    RowPresenter m_presenter{m_entries, nullptr};
    Scheduler m_scheduler{m_entries};
    IdleTracker m_idle;
    NullDocumentUi m_nullUi;
    DocumentUi* m_ui = &m_nullUi;
    LinkFilter m_filter;
    bool m_logWindowFree = true;
    bool m_historyWindowFree = true;
    // Items with a credentials request on its way; a deleted item leaves the set, so a
    // late request is dropped even if a new item took the old one's address.
    std::unordered_set<const DownloadItem*> m_credentialRequests;
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<QObject> m_postTarget; // receives queued calls; gone with the document
};

} // namespace vireo
