// The document's life: construction, the start of a new document, its tick and its end.
#include "downloads/VireoDoc.h"

#include "engine/TextCoding.h"
#include "engine/TransferJob.h"
#include "engine/UrlParts.h"
#include "settings/SettingsStore.h"
#include "settings/Startup.h"

#include <QObject>
#include <QTimer>

namespace vireo {

namespace {
constexpr int kTickMilliseconds = 200;

std::vector<std::string> SplitAtSpaces(const std::vector<std::string>& words) {
    std::vector<std::string> out;
    for (const std::string& word : words) {
        size_t pos = 0;
        while (pos < word.size()) {
            size_t space = word.find(' ', pos);
            if (space == std::string::npos)
                space = word.size();
            if (space > pos)
                out.push_back(word.substr(pos, space - pos));
            pos = space + 1;
        }
    }
    return out;
}
} // namespace

CVireoDoc::CVireoDoc(ListLines* view)
    : m_presenter(m_entries, view), m_timer(std::make_unique<QTimer>()),
      m_postTarget(std::make_unique<QObject>()) {
    m_timer->setInterval(kTickMilliseconds);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_postTarget.get(), [this] { OnTick(); });
}

CVireoDoc::~CVireoDoc() {
    m_timer->stop();
    // Queued calls still on their way die with their target, before the items go.
    m_postTarget.reset();
    m_scheduler.Clear();
    m_entries.Clear(); // each item ends its transfer and closes its file
}

bool CVireoDoc::OnNewDocument() {
    RunSettingsStartup(Settings(), AppDataDirectory(),
                       [this](const std::string& caption, const std::string& text) {
                           m_ui->ShowMessage(caption, text);
                       });
    RecountSlots(); // no entry runs yet: all of "maxdown"
    m_timer->start();
    return true;
}

void CVireoDoc::AddCommandLine(const std::vector<std::string>& words) {
    std::vector<std::string> addresses = SplitAtSpaces(words);
    if (addresses.empty()) {
        RestoreLastList();
        return;
    }
    for (const std::string& word : addresses)
        AddUrl(NormalizeUrl(TrimText(word)), false);
}

void CVireoDoc::OnTick() {
    const std::vector<DownloadItem*>& running = m_scheduler.Running();
    bool anyRunning = !running.empty();
    bool secondEnded = m_presenter.Tick(running);
    // Entries added or removed since the last save are saved within a second, so a crash
    // or a kill loses none of them.
    if (secondEnded && m_entries.TakeChanged())
        SaveLastList();
    m_idle.Tick(anyRunning, secondEnded, *m_ui);
}

void CVireoDoc::OnCloseDocument() {
    SaveLastList();
}

} // namespace vireo
