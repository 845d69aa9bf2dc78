#include "app/gui/SpeedLimitEntry.h"

#include "app/gui/CVireoList.h"
#include "downloads/VireoDoc.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>

namespace vireo {

namespace {
constexpr int kMaxKb = 1024 * 1024; // 1 GB/s

std::optional<int> AskWithDialog(QWidget* parent, int current) {
    bool ok = false;
    int kb = QInputDialog::getInt(parent, "Speed limit",
                                  "Speed limit of this download in KB/s (0: none):", current, 0,
                                  kMaxKb, 1, &ok);
    return ok ? std::optional<int>(kb) : std::nullopt;
}
} // namespace

SpeedLimitEntry::SpeedLimitEntry(CVireoDoc& doc, CVireoList& list)
    : m_doc(doc), m_list(list), m_ask(AskWithDialog) {
    m_action = new QAction(QString::fromUtf8("Speed limit\u2026"), this);
    m_action->setStatusTip("limit the speed of this download");
    connect(m_action, &QAction::triggered, this, &SpeedLimitEntry::AskForSelected);
    if (QMenu* menu = list.ContextMenu()) {
        menu->addSeparator();
        menu->addAction(m_action);
        connect(menu, &QMenu::aboutToShow, this, [this] {
            int line = m_list.SelectedLine();
            m_action->setEnabled(line >= 0 && line < m_doc.ItemCount());
        });
    }
}

void SpeedLimitEntry::AskForSelected() {
    int line = m_list.SelectedLine();
    if (line < 0 || line >= m_doc.ItemCount())
        return;
    DownloadItem* item = &m_doc.Item(line);
    std::optional<int> kb = m_ask(&m_list, int(item->SpeedLimit() / 1024));
    // The list may have changed while the dialog was open.
    line = m_doc.IndexOf(*item);
    if (!kb || line < 0)
        return;
    item->SetSpeedLimit(int64_t(*kb) * 1024);
}

} // namespace vireo
