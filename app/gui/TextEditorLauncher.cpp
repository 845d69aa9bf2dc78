#include "app/gui/TextEditorLauncher.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace vireo {

namespace {
constexpr int kQueryMs = 3000;

QString DefaultTextApplication() {
    QProcess query;
    query.start("xdg-mime", {"query", "default", "text/plain"});
    if (!query.waitForFinished(kQueryMs) || query.exitCode() != 0)
        return QString();
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

QString ExecLine(const QString& desktopId) {
    QString file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    QFile entry(file);
    if (file.isEmpty() || !entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    QTextStream in(&entry);
    bool inMainGroup = false;
    while (!in.atEnd()) {
        QString line = in.readLine().trimmed();
        if (line.startsWith('['))
            inMainGroup = line == "[Desktop Entry]";
        else if (inMainGroup && line.startsWith("Exec="))
            return line.mid(5);
    }
    return QString();
}
} // namespace

QStringList ExecLineCommand(const QString& exec, const QString& path) {
    QStringList words = QProcess::splitCommand(exec);
    QStringList command;
    bool fileGiven = false;
    for (const QString& word : words) {
        if (word == "%f" || word == "%F" || word == "%u" || word == "%U") {
            command << path;
            fileGiven = true;
        } else if (word.size() == 2 && word[0] == '%') {
            continue; // %i, %c, %k and the like: nothing to give
        } else {
            QString w = word;
            command << w.replace("%%", "%");
        }
    }
    if (command.isEmpty())
        return command;
    if (!fileGiven)
        command << path;
    return command;
}

bool LaunchTextEditor(const QString& path) {
    QString desktopId = DefaultTextApplication();
    if (!desktopId.isEmpty()) {
        QStringList command = ExecLineCommand(ExecLine(desktopId), path);
        if (!command.isEmpty() && QProcess::startDetached(command.takeFirst(), command))
            return true;
    }
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        QStringList command = QProcess::splitCommand(qEnvironmentVariable(variable));
        if (command.isEmpty())
            continue;
        QString program = command.takeFirst();
        command << path;
        if (QProcess::startDetached(program, command))
            return true;
    }
    return false;
}

} // namespace vireo
