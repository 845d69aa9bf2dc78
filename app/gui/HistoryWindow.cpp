#include "app/gui/HistoryWindow.h"

#include "app/gui/Artwork.h"
#include "app/gui/CToolBarEx.h"
#include "app/gui/WindowUi.h"
#include "app/gui/sListView.h"
#include "downloads/DocCommand.h"
#include "downloads/VireoDoc.h"
#include "history/HistoryStore.h"
#include "settings/SettingsKeys.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMenuBar>
#include <QMimeData>
#include <QSaveFile>

namespace vireo {

namespace {
constexpr int kClose = 32858;

struct Command {
    int id;
    const char* menuText;
    const char* string; // status text, then after the line break the tooltip
};
const Command kCommands[] = {
    {art::kHistorySave, "&Save\tCtrl+S", "save list\nsave"},
    {art::kLogClear, "Clear", "clear list\nclear"},
    {kClose, "&Close\tCtrl+F4", "close window\nclose window"},
    {art::kHistoryAbout, "About History Window", "about history window\nabout"},
};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
} // namespace

HistoryWindow::HistoryWindow(HistoryStore& store, CVireoDoc* doc)
    : ToolWindow(doc, &CVireoDoc::SetHistoryWindowFree, keys::HistoryRect.name) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("History window");
    setWindowIcon(QIcon(QPixmap::fromImage(art::ToolbarImage(int(DocCommand::History), 2))));
    m_store = &store;
    store.AttachWindow(this);

    BuildCommands();
    m_list = new sListView(this);
    m_list->SetImageSource([](int image, qreal dpr) { return art::HistoryImage(image, dpr); });
    m_list->setDragEnabled(true);
    m_list->SetDragData([this] { return DragData(); });
    setCentralWidget(m_list);
    BuildColumns();
    Fill();
    PlaceAndShow();
}

HistoryWindow::~HistoryWindow() {
    Detach();
}

void HistoryWindow::BuildCommands() {
    QMenu* file = menuBar()->addMenu("&File");
    QMenu* help = menuBar()->addMenu("&Help");
    // The main window's flat bar, docked at the top with its gripper.
    auto* bar = new CToolBarEx("History", this);
    bar->setObjectName("toolBar");
    bar->setAllowedAreas(Qt::TopToolBarArea);
    bar->setFloatable(false);
    addToolBar(Qt::TopToolBarArea, bar);
    for (const Command& c : kCommands) {
        QString text = QString(c.menuText).section('\t', 0, 0);
        QString keys = QString(c.menuText).section('\t', 1);
        QString string = c.string;
        auto* action = new QAction(text, this);
        if (!keys.isEmpty())
            action->setShortcut(QKeySequence(keys));
        action->setStatusTip(string.section('\n', 0, 0));
        action->setToolTip(string.section('\n', 1).left(79));
        QImage image = art::ToolbarImage(c.id, devicePixelRatioF());
        if (!image.isNull())
            action->setIcon(QIcon(QPixmap::fromImage(image)));
        m_actions.emplace_back(c.id, action);
        (c.id == art::kHistoryAbout ? help : file)->addAction(action);
        if (!image.isNull())
            bar->AddButton(action, c.id);
    }
    connect(Action(art::kHistorySave), &QAction::triggered, this, &HistoryWindow::Save);
    connect(Action(art::kLogClear), &QAction::triggered, this, &HistoryWindow::ClearHistory);
    connect(Action(art::kHistoryAbout), &QAction::triggered, this, &HistoryWindow::ShowAbout);
    connect(Action(kClose), &QAction::triggered, this, &QWidget::close, Qt::QueuedConnection);
}

QAction* HistoryWindow::Action(int commandId) const {
    for (const auto& [id, action] : m_actions)
        if (id == commandId)
            return action;
    return nullptr;
}

void HistoryWindow::BuildColumns() {
    int mask = Settings().GetInt(keys::HistoryColumns);
    if (mask & BitDate) {
        m_list->AddColumn("date", Settings().GetInt(keys::WhDate), "12.31.2099");
        m_columns.push_back(BitDate);
    }
    if (mask & BitFile) {
        m_list->AddColumn("file", Settings().GetInt(keys::WhFile));
        m_columns.push_back(BitFile);
    }
    if (mask & BitUrl) {
        m_list->AddColumn("url", Settings().GetInt(keys::WhUrl));
        m_columns.push_back(BitUrl);
    }
    m_checks = m_store->ReadChecks();
    if (!m_checks.empty()) {
        m_list->AddColumn("checksum", 80);
        m_columns.push_back(BitCheck);
    }
}

void HistoryWindow::Fill() {
    m_entries = m_store->ReadEntries();
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const HistoryEntry& e = m_entries[i];
        int row = m_list->AddRow(QString(), int(i), 1);
        for (size_t c = 0; c < m_columns.size(); ++c) {
            switch (m_columns[c]) {
            case BitDate:
                m_list->SetCell(row, int(c), Q(FormatHistoryDate(e.time)));
                break;
            case BitFile:
                m_list->SetCell(row, int(c), Q(e.file));
                break;
            case BitUrl:
                m_list->SetCell(row, int(c), Q(e.url));
                break;
            case BitCheck:
                if (auto check = m_checks.find(e.file); check != m_checks.end())
                    m_list->SetCell(row, int(c), Q(check->second));
                break;
            }
        }
    }
}

void HistoryWindow::CloseHistoryWindow(HistoryStore& store) {
    if (&store != m_store)
        return;
    Detach();
    delete this;
}

void HistoryWindow::Detach() {
    if (!m_store)
        return;
    m_store->DetachWindow(this);
    m_store = nullptr;
    SavePlacement();
}

void HistoryWindow::closeEvent(QCloseEvent* event) {
    Detach();
    event->accept();
}

bool HistoryWindow::SaveTo(const std::string& path) {
    QByteArray text;
    for (const HistoryEntry& e : m_entries)
        text += QByteArray::fromStdString(e.url) + "\r\n";
    // Written beside the old file and renamed over it: a failed write keeps what was there.
    QSaveFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void HistoryWindow::Save() {
    auto* dialog = new QFileDialog(
        this, "Save As", QString(),
        WindowUi::FileDialogFilter("Text files(*.txt)|*.txt|Any files (*.*)|*.*||"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix("txt"); // the dialog asks before it replaces a file
    RunDialog(dialog, [this, dialog] {
        if (!dialog->selectedFiles().isEmpty())
            SaveTo(dialog->selectedFiles().first().toStdString());
    });
}

void HistoryWindow::ClearHistory() {
    if (m_store)
        m_store->Clear();
    m_list->selectionModel()->clearSelection();
    for (int row = m_list->Model().RowTotal() - 1; row >= 0; --row)
        m_list->DeleteRow(row);
    m_entries.clear();
}

void HistoryWindow::ShowAbout() {
    RunDialog(MakeAbout(
        "About History Window", windowIcon(),
        "History window shows all dowloaded files\ndrag link in download window to reload file"));
}

QMimeData* HistoryWindow::DragData() const {
    int row = m_list->SelectedIndex();
    if (row < 0)
        return nullptr;
    int entry = m_list->Model().Value(row);
    if (entry < 0 || size_t(entry) >= m_entries.size())
        return nullptr;
    auto* data = new QMimeData;
    data->setText(Q(m_entries[size_t(entry)].url + "\r\n"));
    return data;
}

} // namespace vireo
