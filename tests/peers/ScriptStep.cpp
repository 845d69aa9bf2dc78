#include "peers/ScriptStep.h"

namespace vireo::test {

const char* StepName(ScriptStep::Kind kind) {
    switch (kind) {
    case ScriptStep::Kind::ExpectRequest:
        return "ExpectRequest";
    case ScriptStep::Kind::ExpectLine:
        return "ExpectLine";
    case ScriptStep::Kind::ExpectBytes:
        return "ExpectBytes";
    case ScriptStep::Kind::Send:
        return "Send";
    case ScriptStep::Kind::SendSlowly:
        return "SendSlowly";
    case ScriptStep::Kind::Delay:
        return "Delay";
    case ScriptStep::Kind::Close:
        return "Close";
    case ScriptStep::Kind::Reset:
        return "Reset";
    case ScriptStep::Kind::Stall:
        return "Stall";
    case ScriptStep::Kind::DataConnect:
        return "DataConnect";
    case ScriptStep::Kind::DataListen:
        return "DataListen";
    case ScriptStep::Kind::DataAccept:
        return "DataAccept";
    case ScriptStep::Kind::DataSend:
        return "DataSend";
    case ScriptStep::Kind::DataClose:
        return "DataClose";
    }
    return "?";
}

} // namespace vireo::test
