#pragma once
// Clipboard watching: an address copied in any program is added as Paste adds it. Only a
// text that is one address is taken (a copied paragraph is not), never what this program
// put on the clipboard itself, and the same text only once in a row.

#include <QObject>
#include <QString>

#include <functional>

namespace vireo {

class ClipboardWatcher : public QObject {
    Q_OBJECT
public:
    // enabled is asked at each change; add receives the address text.
    ClipboardWatcher(std::function<bool()> enabled, std::function<void(const QString&)> add,
                     QObject* parent = nullptr);

    // One change of the clipboard's text; ours is true when this program set it.
    void OnText(const QString& text, bool ours);

private:
    std::function<bool()> m_enabled;
    std::function<void(const QString&)> m_add;
    QString m_last;
};

} // namespace vireo
