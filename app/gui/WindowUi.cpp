#include "app/gui/WindowUi.h"

#include "app/gui/Artwork.h"
#include "app/gui/CMainFrame.h"
#include "app/gui/CSystemTray.h"
#include "app/gui/ContinueDialog.h"
#include "app/gui/HistoryWindow.h"
#include "app/gui/InsertLinkDialog.h"
#include "app/gui/LogWindow.h"
#include "app/gui/PasswordDialog.h"
#include "app/gui/SettingsDialog.h"
#include "app/gui/TextEditorLauncher.h"
#include "downloads/DownloadItem.h"
#include "downloads/VireoDoc.h"
#include "history/HistoryStore.h"
#include "log/TransferLog.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

namespace vireo {

namespace {
QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The help page shipped with the program: installed beside the binary's share folder, or
// in the source tree of a build that was not installed.
QString HelpPagePath() {
    QString installed = QCoreApplication::applicationDirPath() + "/../share/vireo/help.html";
    if (QFileInfo::exists(installed))
        return QFileInfo(installed).canonicalFilePath();
#ifdef VIREO_SOURCE_DIR
    QString source = QStringLiteral(VIREO_SOURCE_DIR "/docs/help.html");
    if (QFileInfo::exists(source))
        return source;
#endif
    return QString();
}
} // namespace

WindowUi::WindowUi(CMainFrame& frame) : m_frame(frame) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto update = [this, clipboard] {
        const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
        m_clipboardHasText = data && data->hasText();
    };
    // Paste's enabling is asked five times a second; the clipboard is asked only when it
    // changes, since another program may own it.
    connect(clipboard, &QClipboard::dataChanged, this, update);
    update();
}

void WindowUi::ShowMessage(const std::string& caption, const std::string& text) {
    QMessageBox::information(&m_frame, Q(caption), Q(text));
}

bool WindowUi::AskYesNo(const std::string& text) {
    return QMessageBox::question(&m_frame, "Vireo", Q(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

DocumentUi::ContinueAnswer WindowUi::AskContinueDownload() {
    ContinueDialog dialog(&m_frame);
    return ContinueDialog::AnswerFor(dialog.exec());
}

DocumentUi::CredentialsAnswer WindowUi::AskCredentials(const std::string& url, Credentials& out) {
    PasswordDialog dialog(Q(url), &m_frame);
    if (dialog.exec() != QDialog::Accepted)
        return CredentialsAnswer::Cancelled;
    out.user = dialog.UserName().toStdString();
    out.password = dialog.Password().toStdString();
    return CredentialsAnswer::Entered;
}

std::optional<DocumentUi::InsertLinkAnswer> WindowUi::AskInsertLink() {
    InsertLinkDialog dialog(&m_frame);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return InsertLinkAnswer{dialog.Url().toStdString(), dialog.LinkToPage()};
}

void WindowUi::ShowSettingsDialog() {
    SettingsDialog dialog([this](bool show) { m_frame.ShowTrayIcon(show); }, &m_frame);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The way numbers are written may have changed: every row is written again.
    CVireoDoc& doc = m_frame.Doc();
    for (int i = 0; i < doc.ItemCount(); ++i)
        doc.RefreshRow(doc.Item(i));
}

QString WindowUi::FileDialogFilter(const std::string& filter) {
    // Labels and patterns alternate; the labels carry their patterns in parentheses.
    QStringList parts = Q(filter).split('|');
    QStringList labels;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].isEmpty())
            labels << parts[i];
    return labels.join(";;");
}

std::optional<std::string> WindowUi::AskOpenFileName(const std::string& filter,
                                                     const std::string&) {
    QString name =
        QFileDialog::getOpenFileName(&m_frame, "Open", QString(), FileDialogFilter(filter));
    if (name.isEmpty())
        return std::nullopt;
    return name.toStdString();
}

std::optional<std::string> WindowUi::AskSaveFileName(const std::string& filter,
                                                     const std::string& defaultExtension) {
    QFileDialog dialog(&m_frame, "Save As", QString(), FileDialogFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(Q(defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> WindowUi::ClipboardText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text().toStdString();
}

void WindowUi::SetClipboardText(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    clipboard->setText(Q(text), QClipboard::Clipboard);
}

void WindowUi::OpenWithShell(const std::string& target, const std::string&) {
    QString t = Q(target);
    QUrl url = t.startsWith('/') ? QUrl::fromLocalFile(t) : QUrl(t);
    QDesktopServices::openUrl(url);
}

void WindowUi::OpenInTextEditor(const std::string& path) {
    if (!LaunchTextEditor(Q(path)))
        QMessageBox::information(&m_frame, "View source",
                                 "No text editor was found for\n" + Q(path) +
                                     "\nSet $VISUAL or a default application for text files.");
}

void WindowUi::OpenHelpPage() {
    QString page = HelpPagePath();
    if (page.isEmpty()) {
        QMessageBox::information(&m_frame, "Using Vireo", "The help page is not installed.");
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

bool WindowUi::StartTrayCycle() {
    CSystemTray& tray = m_frame.Tray();
    if (!tray.IsShown())
        return false;
    return tray.BeginCycle(1000, 0);
}

bool WindowUi::StopTrayCycle() {
    CSystemTray& tray = m_frame.Tray();
    if (!tray.IsShown())
        return false;
    tray.EndCycle();
    return tray.ChangeIcon(art::kTrayStill);
}

void WindowUi::ActivateMainWindow() {
    if (m_frame.isHidden() || m_frame.isMinimized()) {
        if (m_frame.windowState() & Qt::WindowMaximized)
            m_frame.showMaximized();
        else
            m_frame.showNormal();
    }
    m_frame.raise();
    m_frame.activateWindow();
}

void WindowUi::HideMainWindow() {
    // Hidden, the window comes back through the tray icon only: without one it is
    // minimized instead, so that it can still be found.
    if (m_frame.Tray().IsShown())
        m_frame.hide();
    else
        MinimizeMainWindow();
}

void WindowUi::MinimizeMainWindow() {
    if (!m_frame.isMinimized())
        m_frame.showMinimized();
}

LogWindow* WindowUi::CurrentLogWindow() const {
    return m_logWindow;
}

HistoryWindow* WindowUi::CurrentHistoryWindow() const {
    return m_historyWindow;
}

void WindowUi::ShowToolWindows(bool show) {
    if (m_logWindow && m_logWindow->Log())
        m_logWindow->FollowMainWindow(show);
    if (m_historyWindow && m_historyWindow->Store())
        m_historyWindow->FollowMainWindow(show);
}

void WindowUi::CloseLogWindows() {
    // The log closes its window at once; a window already closing has let go of its log.
    if (m_logWindow && m_logWindow->Log())
        m_logWindow->Log()->CloseWindow();
}

void WindowUi::OpenLogWindow(DownloadItem& item) {
    CloseLogWindows();
    QString name = QFileInfo(Q(item.TargetPath())).fileName();
    m_logWindow = new LogWindow(item.Log(), name, &m_frame.Doc());
}

void WindowUi::CloseToolWindows() {
    CloseLogWindows();
    if (m_historyWindow && m_historyWindow->Store())
        m_historyWindow->Store()->CloseWindow();
}

void WindowUi::OpenHistoryWindow() {
    // A new window reads the file afresh; the old one goes first.
    if (m_historyWindow && m_historyWindow->Store())
        m_historyWindow->Store()->CloseWindow();
    m_historyWindow = new HistoryWindow(History(), &m_frame.Doc());
}

void WindowUi::OnEntryStateChanged(DownloadItem& item, int, ItemState from, ItemState to) {
    if (m_entryObserver)
        m_entryObserver(item, from, to);
}

} // namespace vireo
