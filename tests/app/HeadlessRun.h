#pragma once
// The built program run in the terminal against real servers, with settings and a home of
// the test's own: its status, its output and how long it took.
#include "TempSettings.h"
#include "settings/Startup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

namespace vireo::test {

class HeadlessRun : public ::testing::Test {
protected:
    void SetUp() override {
        out = QString::fromStdString(temp.Path("/out"));
        QDir().mkpath(out);
        RunFirstRun(Settings(), temp.Path("/out"));
        Settings().SetInt(keys::Timeout, 10);
    }

    struct Run {
        int status = -1;
        QString out, err;
        double seconds = 0;
    };
    Run RunToEnd(const QStringList& args, int ms = 40000) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VIREO_CONFIG", temp.ConfigPath());
        env.insert("VIREO_HOME", QString::fromStdString(temp.Path("/home")));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        for (const char* name : {"http_proxy", "https_proxy", "ftp_proxy", "all_proxy"}) {
            env.remove(name);
            env.remove(QString(name).toUpper());
        }
        p.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        p.start(VIREO_BINARY, QStringList{"--headless", "-d", out} + args);
        if (!p.waitForFinished(ms))
            p.kill();
        p.waitForFinished();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2,
                p.readAllStandardOutput(), p.readAllStandardError(),
                double(clock.nsecsElapsed()) / 1e9};
    }
    QString WriteList(const QString& name, const QString& text) const {
        QString path = QString::fromStdString(temp.Path("/")) + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) != text.toUtf8().size())
            return {};
        return path;
    }
    QByteArray Read(const QString& name) const {
        QFile f(out + "/" + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TempSettings temp;
    QString out;
};

} // namespace vireo::test
