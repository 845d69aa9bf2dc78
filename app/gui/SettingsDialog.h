#pragma once
// "Settings": the download directory, time-out, parallel downloads and attempts, the speed
// limit of all downloads together, the cap on a recorded stream's variant, the proxy,
// logging and history, the tray icon, idle minimizing, animated icons and how the list
// writes numbers. It shows the stored values, never this run's own (-d, -j); OK writes the
// keys, with numbers kept within their bounds, and a changed value replaces the run's at
// once; Cancel writes nothing.

#include <QDialog>
#include <QMessageBox>

#include <functional>
#include <optional>

class QCheckBox;
class QSpinBox;
class QLineEdit;
class QSpinBox;
class QPushButton;

namespace vireo {

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // showTray shows (true) or removes (false) the tray icon at once.
    explicit SettingsDialog(std::function<void(bool)> showTray, QWidget* parent = nullptr);

    // A number as the user typed it: leading digits after an optional sign, else 0.
    static int TextToInt(const QString& text);
    // The folder as the dialog shows it: with a '/' at the end.
    static QString ShownFolder(const QString& folder);

    // The controls, for whoever drives the dialog without a mouse.
    QLineEdit* DownloadFolder() const { return m_downPath; }
    QPushButton* BrowseButton() const { return m_browse; }
    QLineEdit* TimeoutEdit() const { return m_timeout; }
    QLineEdit* MaxDownEdit() const { return m_maxDown; }
    QLineEdit* AttemptsEdit() const { return m_attempts; }
    QSpinBox* MaxSpeedSpin() const { return m_maxSpeed; }
    QSpinBox* SegmentsSpin() const { return m_segments; }
    QSpinBox* StreamHeightSpin() const { return m_streamHeight; }
    QSpinBox* StreamBandwidthSpin() const { return m_streamBandwidth; }
    QCheckBox* ProxyCheck() const { return m_proxy; }
    QLineEdit* PnmPortEdit() const { return m_pnmPort; }
    QLineEdit* ProxyServerEdit() const { return m_proxyServer; }
    QLineEdit* ProxyPortEdit() const { return m_proxyPort; }
    QPushButton* DetectButton() const { return m_detect; }
    QCheckBox* LogCheck() const { return m_log; }
    QCheckBox* HistoryCheck() const { return m_history; }
    QLineEdit* HistoryMaxEdit() const { return m_historyMax; }
    QCheckBox* KeepListCheck() const { return m_keepList; }
    QCheckBox* TrayCheck() const { return m_tray; }
    QCheckBox* MinimizeCheck() const { return m_minimize; }
    QLineEdit* IdleTimeEdit() const { return m_idleTime; }
    QCheckBox* AnimatedCheck() const { return m_animated; }
    QCheckBox* RawNumbersCheck() const { return m_rawNumbers; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

    void accept() override;
    void reject() override;

protected:
    // Seams for the folder browser and the message boxes.
    virtual std::optional<QString> AskFolder(const QString& current);
    virtual void ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text);

private:
    void Browse();
    void Detect();
    void UpdateEnabling();
    void WriteKeys();

    std::function<void(bool)> m_showTray;
    QLineEdit* m_downPath;
    QPushButton* m_browse;
    QLineEdit* m_timeout;
    QLineEdit* m_maxDown;
    QLineEdit* m_attempts;
    QSpinBox* m_maxSpeed;
    QSpinBox* m_segments;
    QSpinBox* m_streamHeight;
    QSpinBox* m_streamBandwidth;
    QCheckBox* m_proxy;
    QLineEdit* m_pnmPort;
    QLineEdit* m_proxyServer;
    QLineEdit* m_proxyPort;
    QPushButton* m_detect;
    QCheckBox* m_log;
    QCheckBox* m_history;
    QLineEdit* m_historyMax;
    QCheckBox* m_keepList;
    QCheckBox* m_tray;
    QCheckBox* m_minimize;
    QLineEdit* m_idleTime;
    QCheckBox* m_animated;
    QCheckBox* m_rawNumbers;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

} // namespace vireo
