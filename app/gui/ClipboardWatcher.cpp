#include "app/gui/ClipboardWatcher.h"

#include "app/host/NativeMessaging.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace vireo {

ClipboardWatcher::ClipboardWatcher(std::function<bool()> enabled,
                                   std::function<void(const QString&)> add, QObject* parent)
    : QObject(parent), m_enabled(std::move(enabled)), m_add(std::move(add)) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    connect(clipboard, &QClipboard::dataChanged, this, [this, clipboard] {
        const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
        if (data && data->hasText())
            OnText(data->text(), clipboard->ownsClipboard());
    });
}

void ClipboardWatcher::OnText(const QString& text, bool ours) {
    QString address = text.trimmed();
    if (ours) {
        m_last = address; // copied from the list: already there
        return;
    }
    if (!m_enabled || !m_enabled() || address == m_last)
        return;
    if (address.contains('\n') || !host::IsDownloadAddress(address.toStdString()))
        return;
    m_last = address;
    m_add(address);
}

} // namespace vireo
