#include "app/gui/SettingsDialog.h"

#include "app/gui/Artwork.h"
#include "settings/ProxyDetect.h"
#include "settings/SettingsStore.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace vireo {

namespace {
constexpr int kNumberWidth = 64;
constexpr int kMaxSpeedKb = 1024 * 1024; // 1 GB/s

QLineEdit* NumberEdit(int value, bool digitsOnly, QWidget* parent) {
    auto* edit = new QLineEdit(QString::number(value), parent);
    edit->setFixedWidth(kNumberWidth);
    if (digitsOnly) // a numeric field takes digits only
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    return edit;
}

QCheckBox* Check(const char* text, int value, QWidget* parent) {
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    box->setChecked(value != 0);
    return box;
}

QLabel* Label(const char* text) {
    return new QLabel(QString::fromLatin1(text));
}

int Bounded(int value, int low, int high) {
    return std::clamp(value, low, high);
}
} // namespace

int SettingsDialog::TextToInt(const QString& text) {
    QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    long long value = 0;
    for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i) {
        value = value * 10 + (t[i].unicode() - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return int(negative ? -value : value);
}

QString SettingsDialog::ShownFolder(const QString& folder) {
    return folder.endsWith('/') ? folder : folder + '/';
}

SettingsDialog::SettingsDialog(std::function<void(bool)> showTray, QWidget* parent)
    : QDialog(parent), m_showTray(std::move(showTray)) {
    setWindowTitle("Settings");
    setObjectName("settingsDialog");
    setWindowIcon(art::NumberedIcon(art::kSettingsIcon));
    SettingsStore& s = Settings();
    // The stored values, not this run's (-d, -j): OK must not make those lasting.
    SettingsStore::StoredValues stored(s);

    m_downPath = new QLineEdit(ShownFolder(QString::fromStdString(s.GetString(keys::DownPath))));
    m_downPath->setReadOnly(true);
    m_downPath->setMinimumWidth(320);
    m_browse = new QPushButton("...");
    m_browse->setFixedWidth(m_browse->fontMetrics().horizontalAdvance("...") + 24);
    connect(m_browse, &QPushButton::clicked, this, &SettingsDialog::Browse);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(Label("dowload to"));
    folderRow->addWidget(m_downPath, 1);
    folderRow->addWidget(m_browse);

    // download
    auto* download = new QGroupBox("download");
    m_timeout = NumberEdit(s.GetInt(keys::Timeout), true, download);
    m_maxDown = NumberEdit(s.GetInt(keys::MaxDown), true, download);
    m_attempts = NumberEdit(s.GetInt(keys::MaxAttemp), true, download);
    auto* dl = new QGridLayout(download);
    dl->addWidget(Label("timeout"), 0, 0);
    dl->addWidget(m_timeout, 0, 1);
    dl->addWidget(Label("c"), 0, 2);
    dl->addWidget(Label("process"), 1, 0);
    dl->addWidget(m_maxDown, 1, 1);
    dl->addWidget(Label("files"), 1, 2);
    dl->addWidget(Label("attempts"), 2, 0);
    dl->addWidget(m_attempts, 2, 1);
    m_maxSpeed = new QSpinBox(download);
    m_maxSpeed->setRange(0, kMaxSpeedKb);
    m_maxSpeed->setSpecialValueText("none");
    m_maxSpeed->setValue(std::clamp(s.GetInt(keys::MaxSpeed), 0, kMaxSpeedKb));
    dl->addWidget(Label("speed limit"), 3, 0);
    dl->addWidget(m_maxSpeed, 3, 1);
    dl->addWidget(Label("KB/s"), 3, 2);
    // Connections one HTTP download may use at once.
    m_segments = new QSpinBox(download);
    m_segments->setRange(1, 16);
    m_segments->setValue(std::clamp(s.GetInt(keys::Segments), 1, 16));
    dl->addWidget(Label("segments"), 4, 0);
    dl->addWidget(m_segments, 4, 1);
    // The most a recorded stream's variant may have; "any" (0) is no cap.
    m_streamHeight = new QSpinBox(download);
    m_streamHeight->setRange(0, keys::kMaxHlsHeight);
    m_streamHeight->setSpecialValueText("any");
    m_streamHeight->setValue(std::clamp(s.GetInt(keys::HlsMaxHeight), 0, keys::kMaxHlsHeight));
    dl->addWidget(Label("stream height"), 5, 0);
    dl->addWidget(m_streamHeight, 5, 1);
    dl->addWidget(Label("lines"), 5, 2);
    m_streamBandwidth = new QSpinBox(download);
    m_streamBandwidth->setRange(0, INT_MAX);
    m_streamBandwidth->setSpecialValueText("any");
    m_streamBandwidth->setValue(std::max(s.GetInt(keys::HlsMaxBandwidth), 0));
    dl->addWidget(Label("stream rate"), 6, 0);
    dl->addWidget(m_streamBandwidth, 6, 1);
    dl->addWidget(Label("bit/s"), 6, 2);
    dl->setColumnStretch(3, 1);
    dl->setRowStretch(7, 1);

    // connection
    auto* connection = new QGroupBox("connection");
    m_proxy = Check("use a proxy", s.GetInt(keys::Proxy), connection);
    m_proxyServer = new QLineEdit(QString::fromStdString(s.GetString(keys::ProxyServer)));
    m_proxyServer->setMinimumWidth(140);
    m_proxyPort = NumberEdit(s.GetInt(keys::ProxyPort), false, connection);
    m_detect = new QPushButton("detect");
    m_pnmPort = NumberEdit(s.GetInt(keys::PnmPort), true, connection);
    connect(m_proxy, &QCheckBox::toggled, this, &SettingsDialog::UpdateEnabling);
    connect(m_detect, &QPushButton::clicked, this, &SettingsDialog::Detect);
    auto* cl = new QGridLayout(connection);
    cl->addWidget(m_proxy, 0, 0, 1, 2);
    cl->addWidget(m_detect, 0, 3, Qt::AlignRight);
    cl->addWidget(Label("server"), 1, 0);
    cl->addWidget(m_proxyServer, 1, 1);
    cl->addWidget(Label("port"), 1, 2);
    cl->addWidget(m_proxyPort, 1, 3);
    cl->addWidget(Label("pnm port"), 2, 0);
    cl->addWidget(m_pnmPort, 2, 1, Qt::AlignLeft);
    cl->addWidget(Label("default 7070"), 2, 2, 1, 2);
    cl->setColumnStretch(1, 1);
    cl->setRowStretch(3, 1);

    // log
    auto* log = new QGroupBox("log");
    m_log = Check("create log file", s.GetInt(keys::Log), log);
    m_history = Check("keep history", s.GetInt(keys::History), log);
    m_historyMax = NumberEdit(s.GetInt(keys::HistoryMax), false, log);
    m_keepList = Check("save last file list", s.GetInt(keys::KeepList), log);
    connect(m_history, &QCheckBox::toggled, this, &SettingsDialog::UpdateEnabling);
    auto* ll = new QGridLayout(log);
    ll->addWidget(m_log, 0, 0, 1, 3);
    ll->addWidget(m_history, 1, 0);
    ll->addWidget(m_historyMax, 1, 1);
    ll->addWidget(Label("files"), 1, 2);
    ll->addWidget(m_keepList, 2, 0, 1, 3);
    ll->setColumnStretch(3, 1);

    // other
    auto* other = new QGroupBox("other");
    m_tray = Check("place icon to tray bar", s.GetInt(keys::DropToTray), other);
    m_minimize = Check("minimize after", s.GetInt(keys::Minimize), other);
    m_idleTime = NumberEdit(s.GetInt(keys::IdleTime), false, other);
    m_animated = Check("animated icons", s.GetInt(keys::Animated), other);
    m_rawNumbers = Check("byte counts instead of KB/MB/GB", s.GetInt(keys::RawNumbers), other);
    connect(m_tray, &QCheckBox::toggled, this, [this](bool on) {
        if (m_showTray)
            m_showTray(on); // at once, before OK
    });
    auto* ol = new QGridLayout(other);
    ol->addWidget(m_tray, 0, 0, 1, 3);
    ol->addWidget(m_minimize, 1, 0);
    ol->addWidget(m_idleTime, 1, 1);
    ol->addWidget(Label("c"), 1, 2);
    ol->addWidget(m_animated, 2, 0, 1, 3);
    ol->addWidget(m_rawNumbers, 3, 0, 1, 3);
    ol->setColumnStretch(3, 1);

    auto* groups = new QGridLayout;
    groups->addWidget(download, 0, 0);
    groups->addWidget(connection, 0, 1);
    groups->addWidget(log, 1, 0);
    groups->addWidget(other, 1, 1);

    m_ok = new QPushButton("OK");
    m_ok->setDefault(true);
    m_cancel = new QPushButton("Cancel");
    connect(m_ok, &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &SettingsDialog::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Label("Vireo 1.0 Beta"));
    bottom->addStretch();
    bottom->addWidget(m_ok);
    bottom->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(folderRow);
    layout->addLayout(groups);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    UpdateEnabling();
}

void SettingsDialog::UpdateEnabling() {
    m_historyMax->setEnabled(m_history->isChecked());
    bool proxy = m_proxy->isChecked();
    m_detect->setEnabled(proxy);
    m_proxyServer->setEnabled(proxy);
    m_proxyPort->setEnabled(proxy);
}

std::optional<QString> SettingsDialog::AskFolder(const QString& current) {
    QString folder = QFileDialog::getExistingDirectory(this, "Select destination directory.",
                                                       current, QFileDialog::Options());
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

void SettingsDialog::ShowMessage(QMessageBox::Icon icon, const QString& caption,
                                 const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, this);
    box.exec();
}

void SettingsDialog::Browse() {
    std::optional<QString> folder = AskFolder(m_downPath->text());
    if (folder && !folder->isEmpty())
        m_downPath->setText(ShownFolder(*folder));
}

void SettingsDialog::Detect() {
    DetectedProxy proxy = DetectProxy();
    if (!proxy.found) {
        ShowMessage(QMessageBox::Warning, "Not found", "Proxy server not found");
        return;
    }
    QString host = QString::fromStdString(proxy.host);
    m_proxyPort->setText(QString::number(proxy.port));
    m_proxyServer->setText(host);
    ShowMessage(QMessageBox::Information, "Proxy server",
                QString("server: %1\nport: %2").arg(host).arg(proxy.port));
}

void SettingsDialog::WriteKeys() {
    SettingsStore& s = Settings();
    // What the user changed takes effect at once, over this run's value too.
    SettingsStore::StoredValues stored(s);
    QString folder = m_downPath->text();
    // The root keeps its slash: without it the download directory would name nothing.
    if (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    s.SetString(keys::DownPath, folder.toStdString());
    s.SetInt(keys::Timeout, std::max(TextToInt(m_timeout->text()), 10));
    s.SetInt(keys::MaxDown, Bounded(TextToInt(m_maxDown->text()), 1, 32));
    s.SetInt(keys::Log, m_log->isChecked() ? 1 : 0);
    s.SetInt(keys::MaxAttemp, Bounded(TextToInt(m_attempts->text()), 1, 8192));
    s.SetInt(keys::MaxSpeed, m_maxSpeed->value());
    s.SetInt(keys::Segments, m_segments->value());
    s.SetInt(keys::HlsMaxHeight, m_streamHeight->value());
    s.SetInt(keys::HlsMaxBandwidth, m_streamBandwidth->value());
    s.SetInt(keys::History, m_history->isChecked() ? 1 : 0);
    s.SetInt(keys::HistoryMax, Bounded(TextToInt(m_historyMax->text()), 1, 1000));
    s.SetInt(keys::IdleTime, std::max(TextToInt(m_idleTime->text()), 5));
    s.SetInt(keys::Minimize, m_minimize->isChecked() ? 1 : 0);
    s.SetInt(keys::DropToTray, m_tray->isChecked() ? 1 : 0);
    s.SetInt(keys::PnmPort, std::max(TextToInt(m_pnmPort->text()), 1));
    s.SetInt(keys::Proxy, m_proxy->isChecked() ? 1 : 0);
    s.SetInt(keys::ProxyPort, TextToInt(m_proxyPort->text()));
    s.SetString(keys::ProxyServer, m_proxyServer->text().toStdString());
    s.SetInt(keys::KeepList, m_keepList->isChecked() ? 1 : 0);
    s.SetInt(keys::Animated, m_animated->isChecked() ? 1 : 0);
    s.SetInt(keys::RawNumbers, m_rawNumbers->isChecked() ? 1 : 0);
}

void SettingsDialog::accept() {
    QDialog::accept();
    WriteKeys();
}

void SettingsDialog::reject() {
    // Undo what the tray check box did while the dialog was open.
    if (m_showTray)
        m_showTray(Settings().GetInt(keys::DropToTray.name, 1) != 0);
    QDialog::reject();
}

} // namespace vireo
