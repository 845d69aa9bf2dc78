#pragma once
// "Speed limit…" on the download list's context menu: asks for the selected entry's own
// limit in KB/s (0: none) and gives it to the entry, running or not.

#include <QObject>

#include <functional>
#include <optional>

class QAction;
class QWidget;

namespace vireo {

class CVireoDoc;
class CVireoList;

class SpeedLimitEntry : public QObject {
public:
    // Asks for a limit in KB/s, showing current; nothing when the user cancelled.
    using Ask = std::function<std::optional<int>(QWidget* parent, int current)>;

    // Appends the entry to the list's context menu.
    SpeedLimitEntry(CVireoDoc& doc, CVireoList& list);

    QAction* Action() const { return m_action; }
    // Another way of asking (the tests answer themselves).
    void SetAsk(Ask ask) { m_ask = std::move(ask); }
    void AskForSelected();

private:
    CVireoDoc& m_doc;
    CVireoList& m_list;
    QAction* m_action;
    Ask m_ask;
};

} // namespace vireo
