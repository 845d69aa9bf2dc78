#pragma once
// "Continue download": asked before a finished entry starts again. Reload fetches the
// file anew, Continue resumes it, Cancel leaves it.

#include "downloads/DocumentUi.h"

#include <QDialog>

class QPushButton;

namespace vireo {

class ContinueDialog : public QDialog {
    Q_OBJECT
public:
    // The dialog's results, as the buttons' ids.
    static constexpr int kReload = 1;
    static constexpr int kContinue = 6;
    static constexpr int kCancel = 2;

    explicit ContinueDialog(QWidget* parent = nullptr);

    static DocumentUi::ContinueAnswer AnswerFor(int result);
    QPushButton* ReloadButton() const { return m_reload; }
    QPushButton* ContinueButton() const { return m_continue; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QPushButton* m_reload;
    QPushButton* m_continue;
    QPushButton* m_cancel;
};

} // namespace vireo
