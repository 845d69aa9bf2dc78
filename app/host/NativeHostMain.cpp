// vireo-native-host: started by the browser for the extension. Each request's address
// goes to the running window; when none runs, a window is started with it.
#include "app/gui/RunningCopy.h"
#include "app/host/NativeMessaging.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstdlib>

using namespace vireo;

namespace {
void Answer(const QByteArray& json) {
    QByteArray out = host::Framed(json);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
}

// The program beside this one, else the one on the PATH.
QString ProgramPath() {
    QString beside = QCoreApplication::applicationDirPath() + "/vireo";
    return QFileInfo(beside).isExecutable() ? beside : QStringLiteral("vireo");
}

QString Deliver(const QString& address) {
    QStringList refused;
    QString error;
    if (RunningCopy::HandOver({{address}, {}}, refused, error))
        return refused.isEmpty() ? QString() : QStringLiteral("the address was refused");
    // No window runs: start one with the address. Without a display it would run in the
    // terminal, where nobody sees it.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!(display && *display) && !(wayland && *wayland))
        return "no display to open the window on";
    // Not on this host's pipes: the browser reads answers from them and closes them when
    // the host ends, which would end the window with the next line it writes.
    QProcess window;
    window.setProgram(ProgramPath());
    window.setArguments({address});
    window.setStandardInputFile(QProcess::nullDevice());
    window.setStandardOutputFile(QProcess::nullDevice());
    window.setStandardErrorFile(QProcess::nullDevice());
    if (!window.startDetached())
        return "cannot start " + ProgramPath();
    return {};
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    for (;;) {
        host::Frame frame = host::ReadFrame(stdin);
        switch (frame.status) {
        case host::FrameStatus::End:
            return 0;
        case host::FrameStatus::TooLarge:
            // What follows is the rest of that message: nothing more can be read.
            Answer(host::ErrorAnswer("message too large"));
            return 1;
        case host::FrameStatus::Truncated:
            Answer(host::ErrorAnswer("message cut short"));
            return 1;
        case host::FrameStatus::Message:
            break;
        }
        host::Request request = host::ParseRequest(frame.body);
        if (request.error.isEmpty())
            request.error = Deliver(request.address);
        Answer(request.error.isEmpty() ? host::OkAnswer() : host::ErrorAnswer(request.error));
    }
}
