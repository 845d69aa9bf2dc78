#include "app/gui/SupportSendDialog.h"

#include "protocols/SupportSender.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vireo {

SupportSendDialog::SupportSendDialog(std::string report, std::string script, const QIcon& icon,
                                     QWidget* parent)
    : QDialog(parent), m_report(std::move(report)), m_script(std::move(script)),
      m_sender(new SupportSender(this)) {
    setWindowTitle("Sending log file");
    setWindowIcon(icon);
    m_message = new QLabel("Sending log file to Tarnwell\nplease wait, it can take few minutes");
    m_message->setObjectName("message");
    auto* buttons = new QDialogButtonBox;
    m_close = buttons->addButton("Close", QDialogButtonBox::RejectRole);
    m_retry = buttons->addButton("Retry", QDialogButtonBox::ActionRole);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_retry, &QPushButton::clicked, this, &SupportSendDialog::Retry);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(new QLabel("Vireo 1.0 Beta"));
    layout->addWidget(buttons);

    m_sender->onSent = [this] { OnSent(); };
    m_sender->onFailed = [this] { OnFailed(); };
    m_retry->setEnabled(false);
    m_sender->Start(m_report, m_script);
}

SupportSendDialog::~SupportSendDialog() {
    m_sender->Stop();
}

QString SupportSendDialog::Message() const {
    return m_message->text();
}

void SupportSendDialog::OnSent() {
    m_sender->Stop();
    m_close->setText("OK");
    m_message->setText("Log file sent successfully");
}

void SupportSendDialog::OnFailed() {
    m_sender->Stop();
    m_message->setText("Error occured while connecting");
    m_retry->setEnabled(true);
}

void SupportSendDialog::Retry() {
    m_sender->Stop();
    m_retry->setEnabled(false);
    m_close->setText("Close");
    m_message->setText("Sending information to Tarnwell\nplease wait");
    m_sender->Start(m_report, m_script);
}

void SupportSendDialog::done(int result) {
    m_sender->Stop(); // Close, Escape, or the log window ending the dialog
    QDialog::done(result);
}

} // namespace vireo
