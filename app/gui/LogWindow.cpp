#include "app/gui/LogWindow.h"

#include "app/gui/Artwork.h"
#include "app/gui/CToolBarEx.h"
#include "app/gui/SupportReportDialog.h"
#include "app/gui/SupportSendDialog.h"
#include "app/gui/WindowUi.h"
#include "app/gui/sListView.h"
#include "common/LineSplitter.h"
#include "downloads/DocCommand.h"
#include "downloads/VireoDoc.h"
#include "log/SupportReport.h"
#include "log/TransferLog.h"
#include "settings/SettingsKeys.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QMenuBar>

namespace vireo {

namespace {
constexpr int kClose = 32841;

struct Command {
    int id;
    const char* menuText;
    const char* string; // status text, then after the line break the tooltip
};
const Command kCommands[] = {
    {art::kLogSave, "&Save\tCtrl+S", "Save log to disk\nSave"},
    {art::kLogSend, "Send log to Tarnwell",
     "Sends log file to Tarnwell\nSend log file to the tech support"},
    {art::kLogClear, "Clear list", "clear list\nclear"},
    {kClose, "&Close\tCtrl+F4", "Close log window"},
    {art::kLogAbout, "About Log Window", "Display About dialog box\nAbout"},
};

QString ToolTipOf(const QString& string) {
    int cut = string.indexOf('\n');
    return (cut < 0 ? string : string.mid(cut + 1)).left(79);
}

QString StatusOf(const QString& string) {
    int cut = string.indexOf('\n');
    return cut < 0 ? string : string.left(cut);
}

bool Blank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}
} // namespace

LogWindow::LogWindow(TransferLog& log, const QString& fileName, CVireoDoc* doc)
    : ToolWindow(doc, &CVireoDoc::SetLogWindowFree, keys::LogRect.name) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString("Log window [%1]").arg(fileName));
    setWindowIcon(QIcon(QPixmap::fromImage(art::ToolbarImage(int(DocCommand::Log), 2))));
    m_log = &log;
    log.AttachWindow(this);

    BuildCommands();
    m_list = new sListView(this);
    m_list->setFrameShape(QFrame::StyledPanel);
    m_list->setFrameShadow(QFrame::Sunken);
    m_list->AddColumn("num", 60, "99999");
    m_list->AddColumn("cont", 500);
    m_list->SetImageSource([](int image, qreal dpr) { return art::LogKindImage(image, dpr); });
    setCentralWidget(m_list);

    FillFromFile();
    PlaceAndShow();
}

LogWindow::~LogWindow() {
    Detach();
}

void LogWindow::BuildCommands() {
    QMenu* file = menuBar()->addMenu("&File");
    QMenu* help = menuBar()->addMenu("&Help");
    // The main window's flat bar, docked at the top with its gripper.
    auto* bar = new CToolBarEx("Log", this);
    bar->setObjectName("toolBar");
    bar->setAllowedAreas(Qt::TopToolBarArea);
    bar->setFloatable(false);
    addToolBar(Qt::TopToolBarArea, bar);
    for (const Command& c : kCommands) {
        QString text = QString(c.menuText).section('\t', 0, 0);
        QString keys = QString(c.menuText).section('\t', 1);
        auto* action = new QAction(text, this);
        if (!keys.isEmpty())
            action->setShortcut(QKeySequence(keys));
        action->setStatusTip(StatusOf(c.string));
        action->setToolTip(ToolTipOf(c.string));
        QImage image = art::ToolbarImage(c.id, devicePixelRatioF());
        if (!image.isNull())
            action->setIcon(QIcon(QPixmap::fromImage(image)));
        m_actions.emplace_back(c.id, action);
        (c.id == art::kLogAbout ? help : file)->addAction(action);
    }
    connect(Action(art::kLogSave), &QAction::triggered, this, &LogWindow::Save);
    connect(Action(art::kLogClear), &QAction::triggered, this, &LogWindow::ClearList);
    connect(Action(art::kLogAbout), &QAction::triggered, this, &LogWindow::ShowAbout);
    // A request, so that a command running inside the window finishes first.
    connect(Action(kClose), &QAction::triggered, this, &QWidget::close, Qt::QueuedConnection);
    connect(Action(art::kLogSend), &QAction::triggered, this, &LogWindow::SendReport);

    for (int id : {art::kLogSave, art::kLogClear, 0, art::kLogSend, art::kLogAbout}) {
        if (id == 0)
            bar->AddSeparatorLine();
        else
            bar->AddButton(Action(id), id);
    }
}

QAction* LogWindow::Action(int commandId) const {
    for (const auto& [id, action] : m_actions)
        if (id == commandId)
            return action;
    return nullptr;
}

int LogWindow::KindImage(char kind) {
    switch (kind) {
    case 'E':
        return 1;
    case '!':
        return 2;
    case 'O':
        return 3;
    case 'I':
        return 4;
    case 'R':
        return 5;
    default:
        return 0;
    }
}

std::vector<std::string> LogWindow::SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    for (std::string_view line : vireo::SplitLines(text)) {
        while (!line.empty() && Blank(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && Blank(line.back()))
            line.remove_suffix(1);
        if (!line.empty())
            lines.emplace_back(line);
    }
    return lines;
}

void LogWindow::AddLine(const std::string& line) {
    if (line.empty() || line[0] != '#') {
        m_list->AddRow(QString(), 0, 0);
        int row = m_list->Model().RowTotal() - 1;
        m_list->SetCell(row, ColCont, QString::fromStdString(line));
        return;
    }
    size_t space = line.find(' ');
    std::string number = line.substr(1, space == std::string::npos ? std::string::npos : space - 1);
    char kind = space != std::string::npos && space + 1 < line.size() ? line[space + 1] : 0;
    std::string text = space != std::string::npos && space + 3 <= line.size()
                           ? line.substr(space + 3)
                           : std::string();
    int row = m_list->AddRow(QString::fromStdString(number), 0, KindImage(kind));
    m_list->SetCell(row, ColCont, QString::fromStdString(text));
}

void LogWindow::AddText(std::string_view text) {
    for (const std::string& line : SplitLines(text))
        AddLine(line);
}

void LogWindow::FillFromFile() {
    QFile file(QString::fromStdString(m_log->FilePath()));
    if (!file.open(QIODevice::ReadOnly))
        return; // no file yet, or unreadable: an empty list
    QByteArray bytes = file.readAll();
    AddText(std::string_view(bytes.constData(), size_t(bytes.size())));
}

void LogWindow::OnLogRecordAdded(const TransferLog& log) {
    if (&log == m_log)
        AddText(log.LastRecord());
}

void LogWindow::CloseLogWindow(TransferLog& log) {
    if (&log != m_log)
        return;
    Detach();
    delete this;
}

void LogWindow::Detach() {
    if (!m_log)
        return;
    m_log->DetachWindow(this);
    m_log = nullptr;
    SavePlacement();
}

void LogWindow::closeEvent(QCloseEvent* event) {
    Detach();
    event->accept();
}

void LogWindow::SaveTo(const std::string& path) {
    if (m_log)
        m_log->CopyTo(path);
}

void LogWindow::Save() {
    auto* dialog = new QFileDialog(this, "Save As", QString(),
                                   WindowUi::FileDialogFilter("Text files(*.txt)|*.txt||"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix("txt"); // the dialog asks before it replaces a file
    RunDialog(dialog, [this, dialog] {
        if (!dialog->selectedFiles().isEmpty())
            SaveTo(dialog->selectedFiles().first().toStdString());
    });
}

void LogWindow::ClearList() {
    if (m_log)
        m_log->RemoveFile();
    m_list->selectionModel()->clearSelection();
    for (int row = m_list->Model().RowTotal() - 1; row >= 0; --row)
        m_list->DeleteRow(row);
}

void LogWindow::ShowAbout() {
    RunDialog(MakeAbout("About Log Window", windowIcon(),
                        "Log window shows current state of downloading.\n\nIf you have any "
                        "troubles with downloading please send us file generated by log "
                        "window. Every report is read, and every user gets an answer."));
}

void LogWindow::SendReport() {
    SupportReportFields fields;
    bool accepted = false;
    auto* ask = new SupportReportDialog(windowIcon(), this);
    if (!RunDialog(ask,
                   [&] {
                       fields = ask->Fields();
                       accepted = true;
                   }) ||
        !accepted)
        return; // cancelled, or the window went away with its item
    // A window whose log has gone sends the report with an empty log section.
    const std::string report =
        BuildSupportReportFromFile(fields, m_log ? m_log->FilePath() : std::string());
    RunDialog(new SupportSendDialog(report, "techsupport.cgi", windowIcon(), this));
}

} // namespace vireo
