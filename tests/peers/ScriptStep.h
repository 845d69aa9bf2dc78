#pragma once
// One step of what a scripted server does on a connection. A script is a list of steps
// played in order; see ScriptedServer.

#include <QByteArray>

#include <vector>

namespace vireo::test {

struct ScriptStep {
    enum class Kind {
        ExpectRequest, // wait for an HTTP request: headers to the blank line, then
                       // Content-Length bytes of body when the headers give one
        ExpectLine,    // wait for a line ended by CR LF (FTP commands)
        ExpectBytes,   // wait for count bytes
        Send,          // send bytes at once
        SendSlowly,    // send bytes count at a time, ms apart
        Delay,         // do nothing for ms
        Close,         // send what is pending, then close (FIN); later steps may still
                       // use the data connection
        Reset,         // drop the connection with a TCP reset, discarding what is pending
        Stall,         // keep the connection open and silent until the client closes it
        DataConnect,   // connect to the address of the last PORT command received
        DataListen,    // listen on 127.0.0.1 for a passive data connection and send bytes
                       // on the control connection with "%p1%", "%p2%" (the port / 256
                       // and % 256) and "%port%" replaced
        DataAccept,    // wait for the client's connection to that listener
        DataSend,      // send bytes on the data connection (connected or accepted)
        DataClose,     // close the data connection once its bytes are out
    };

    static ScriptStep ExpectRequest() { return {Kind::ExpectRequest, {}, 0, 0}; }
    static ScriptStep ExpectLine() { return {Kind::ExpectLine, {}, 0, 0}; }
    static ScriptStep ExpectBytes(int count) { return {Kind::ExpectBytes, {}, count, 0}; }
    static ScriptStep Send(QByteArray bytes) { return {Kind::Send, std::move(bytes), 0, 0}; }
    static ScriptStep SendSlowly(QByteArray bytes, int piece, int ms) {
        return {Kind::SendSlowly, std::move(bytes), piece, ms};
    }
    static ScriptStep Delay(int ms) { return {Kind::Delay, {}, 0, ms}; }
    static ScriptStep Close() { return {Kind::Close, {}, 0, 0}; }
    static ScriptStep Reset() { return {Kind::Reset, {}, 0, 0}; }
    static ScriptStep Stall() { return {Kind::Stall, {}, 0, 0}; }
    static ScriptStep DataConnect() { return {Kind::DataConnect, {}, 0, 0}; }
    static ScriptStep DataListen(QByteArray reply) {
        return {Kind::DataListen, std::move(reply), 0, 0};
    }
    static ScriptStep DataAccept() { return {Kind::DataAccept, {}, 0, 0}; }
    static ScriptStep DataSend(QByteArray bytes) {
        return {Kind::DataSend, std::move(bytes), 0, 0};
    }
    static ScriptStep DataClose() { return {Kind::DataClose, {}, 0, 0}; }

    Kind kind;
    QByteArray bytes;
    int count = 0;
    int ms = 0;
};

using Script = std::vector<ScriptStep>;

// The step's name for messages ("ExpectLine").
const char* StepName(ScriptStep::Kind kind);

} // namespace vireo::test
