#include "peers/StaticWebPeer.h"

#include "peers/FreePort.h"
#include "peers/TestFiles.h"

#include <QDir>
#include <QFile>

namespace vireo::test {

StaticWebPeer::StaticWebPeer(QString program, QString foregroundOption)
    : m_program(std::move(program)), m_foregroundOption(std::move(foregroundOption)),
      m_process(m_program, m_dir.filePath("server.out")) {
    // Readable by whichever user the server ends up using.
    MakeReadableByAll(m_dir.path());
    QDir(m_dir.path()).mkpath("www");
}

StaticWebPeer::~StaticWebPeer() {
    Stop();
}

QString StaticWebPeer::Put(const QString& relativePath, const QByteArray& data) const {
    return WriteFileUnder(DocRoot(), relativePath, data);
}

QString StaticWebPeer::HttpUrl(const QString& path) const {
    return QString("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

QString StaticWebPeer::AccessLog() const {
    return QString::fromUtf8(ReadSettledFile(Path("access.log")));
}

QString StaticWebPeer::ErrorLog() const {
    return QString::fromUtf8(ReadWholeFile(Path("error.log")));
}

testing::AssertionResult StaticWebPeer::Start() {
    if (!m_dir.isValid())
        return testing::AssertionFailure()
               << m_program.toStdString() << ": cannot create a temporary folder";
    return m_process.StartOnFreePorts([this] { return StartOnce(); });
}

testing::AssertionResult StaticWebPeer::StartOnce() {
    m_port = FreePort();
    QString configFile = m_program + ".conf";
    if (WriteFileUnder(m_dir.path(), configFile, Config(m_port).toUtf8()).isEmpty())
        return testing::AssertionFailure()
               << m_program.toStdString() << ": cannot write the configuration";
    QFile::remove(Path("error.log"));
    return m_process.Start(m_program, {m_foregroundOption, "-f", m_dir.filePath(configFile)},
                           {m_port}, {Path("error.log")});
}

void StaticWebPeer::Stop() {
    m_process.Stop();
}

} // namespace vireo::test
