#pragma once
// Sends a support report while it is open and shows how that went, with Retry after a
// failure. Closing it stops the sending.

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;

namespace vireo {

class SupportSender;

class SupportSendDialog : public QDialog {
    Q_OBJECT
public:
    // Starts sending the report to the support server's script at once.
    SupportSendDialog(std::string report, std::string script, const QIcon& icon,
                      QWidget* parent = nullptr);
    ~SupportSendDialog() override;

    QString Message() const;
    QPushButton* CloseButton() const { return m_close; }
    QPushButton* RetryButton() const { return m_retry; }

    void Retry();
    void done(int result) override;

private:
    void OnSent();
    void OnFailed();

    std::string m_report;
    std::string m_script;
    SupportSender* m_sender;
    QLabel* m_message;
    QPushButton* m_close;
    QPushButton* m_retry;
};

} // namespace vireo
