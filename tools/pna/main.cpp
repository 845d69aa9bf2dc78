// The PNA test server as a program: streams an .rm file on a loopback port until it has
// run for --seconds (default 600).
//   pna_server --file sweep.rm [--port 7070] [--version 10|8|5] [--reply i|r] [--long]
//              [--audio 3|4] [--live] [--busy N] [--seconds N]
#include "PnaStreamServer.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <cstdio>

using namespace vireo::pna;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    auto value = [&](const char* name, const QString& fallback) {
        int i = int(args.indexOf(name));
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    PnaServerOptions options;
    options.pnaVersion = value("--version", "10").toInt();
    options.audioReply = value("--reply", "i").toLatin1().at(0);
    options.longFraming = args.contains("--long");
    options.live = args.contains("--live");
    options.busyConnections = value("--busy", "0").toInt();
    QString file = value("--file", "");
    std::optional<PnaContent> content;
    if (options.pnaVersion == 10) {
        content = PnaContent::FromRealMedia(file);
    } else {
        auto kind = value("--audio", "4") == "3" ? PnaContent::AudioHeader::Version3
                                                 : PnaContent::AudioHeader::Version4Corrected;
        content = PnaContent::FromRealAudio(file, kind, 240, options.live);
    }
    if (!content) {
        std::fprintf(stderr, "pna_server: cannot stream %s\n", qPrintable(file));
        return 2;
    }
    PnaStreamServer server(std::move(*content), options);
    if (!server.Listen(quint16(value("--port", "0").toUInt()))) {
        std::fprintf(stderr, "pna_server: cannot listen\n");
        return 1;
    }
    std::printf("%u\n", server.Port());
    std::fflush(stdout);
    QTimer::singleShot(value("--seconds", "600").toInt() * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}
