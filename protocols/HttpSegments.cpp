#include "protocols/HttpSegments.h"

#include "common/AsciiCase.h"
#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "engine/TextCoding.h"
#include "protocols/HeaderTable.h"
#include "protocols/HttpRequest.h"
#include "protocols/HttpTransfer.h"
#include "protocols/HttpVerdict.h"

#include <algorithm>
#include <utility>

namespace vireo {

namespace {
// The missing ranges are kept at least this often while bytes arrive: what a crash
// costs is what arrived since.
constexpr auto kSaveEvery = std::chrono::milliseconds(250);

std::string Bytes(int64_t first, int64_t end) {
    return "bytes " + std::to_string(first) + "-" + std::to_string(end - 1);
}
} // namespace

HttpSegments::HttpSegments(HttpTransfer& job, SegmentPlan plan, int connections)
    : m_job(job), m_plan(std::move(plan)),
      m_fetches(size_t(std::clamp(connections, 1, kMaxConnections))),
      m_ifRange(job.m_item->StoredValidators().IfRange()),
      m_lastSave(std::chrono::steady_clock::now()) {
    for (size_t i = 0; i < m_fetches.size(); ++i)
        m_fetches[i].number = int(i) + 1;
}

HttpSegments::~HttpSegments() = default;

bool HttpSegments::Owns(const Connection* connection) const {
    return std::any_of(m_fetches.begin(), m_fetches.end(), [&](const Fetch& f) {
        return f.connection && f.connection.get() == connection;
    });
}

HttpSegments::Fetch* HttpSegments::FetchOf(const Connection* connection) {
    return const_cast<Fetch*>(std::as_const(*this).FetchOf(connection));
}

const HttpSegments::Fetch* HttpSegments::FetchOf(const Connection* connection) const {
    for (const Fetch& f : m_fetches)
        if (f.connection && f.connection.get() == connection)
            return &f;
    return nullptr;
}

void HttpSegments::Record(const Fetch& f, const std::string& text, char kind) {
    m_job.AddRecord("segment " + std::to_string(f.number) + ": " + text, kind);
}

Step HttpSegments::Adopt(ConnectionPtr connection, const char* rest, size_t count) {
    Fetch& first = m_fetches.front();
    first.piece = m_plan.Take(0);
    if (first.piece < 0)
        return Step::Finish();
    const SegmentPlan::Piece& piece = m_plan.At(first.piece);
    first.connection = std::move(connection);
    first.phase = Fetch::Phase::Body;
    first.from = first.wireNext = piece.next;
    first.wireEnd = m_plan.Total();
    first.countdown = HttpTransfer::TimeoutSetting(30);
    Record(first, "the first connection goes on with " + Bytes(piece.next, piece.end), '!');
    for (size_t i = 1; i < m_fetches.size(); ++i)
        if (Step step = TakeAndConnect(m_fetches[i]); !step.GoesOn())
            return step;
    if (count == 0)
        return Step::GoOn();
    return Body(first, rest, count);
}

Step HttpSegments::Open() {
    if (m_plan.Done()) {
        m_ended = true;
        m_job.m_item->StoreSegments({});
        return Step::Finish();
    }
    for (Fetch& f : m_fetches)
        if (Step step = TakeAndConnect(f); !step.GoesOn())
            return step;
    return Step::GoOn();
}

Step HttpSegments::TakeAndConnect(Fetch& f) {
    f.piece = m_plan.Take(f.number - 1);
    if (f.piece < 0) {
        f.phase = Fetch::Phase::Idle;
        f.countdown = -1;
        return Step::GoOn();
    }
    return Connect(f);
}

Step HttpSegments::Connect(Fetch& f) {
    f.connection = m_job.Connections().Open(&m_job);
    f.phase = Fetch::Phase::Connecting;
    f.countdown = HttpTransfer::TimeoutSetting(0);
    f.header.Clear();
    Record(f, "connecting server: " + m_job.m_host + ", port: " + std::to_string(m_job.m_port),
           '!');
    f.connection->ConnectTo(QString::fromStdString(m_job.m_address), quint16(m_job.m_port),
                            m_job.m_tls ? QString::fromStdString(m_job.m_host) : QString());
    return Step::GoOn();
}

void HttpSegments::Ask(Fetch& f) {
    const SegmentPlan::Piece& piece = m_plan.At(f.piece);
    f.phase = Fetch::Phase::Asking;
    f.from = f.wireNext = piece.next;
    f.wireEnd = piece.end;
    f.header.Clear();
    f.countdown = HttpTransfer::TimeoutSetting(30);
    Record(f, "HTTP req: " + m_job.m_path + ", " + Bytes(piece.next, piece.end), 'O');
    std::string credentials = m_job.m_item->CredentialsFor(m_job.m_host);
    std::string authorization = credentials.empty() ? "" : "Basic " + Base64Encode(credentials);
    std::string host = HostHeader(m_job.m_host, m_job.m_port, m_job.m_tls ? "https" : "http");
    f.connection->SendText(
        BuildRangeRequest(m_job.m_path, host, piece.next, piece.end - 1, authorization, m_ifRange));
}

Step HttpSegments::OnConnected(Connection* connection) {
    Fetch* f = FetchOf(connection);
    if (!f || f->phase != Fetch::Phase::Connecting)
        return Step::GoOn();
    if (!connection->IsConnected()) {
        std::string words = connection->FailureWords();
        Record(*f, "connection failed: " + connection->ErrorText().toStdString(), 'E');
        return Failure(*f, words, true);
    }
    f->countdown = HttpTransfer::TimeoutSetting(30);
    return Step::GoOn();
}

Step HttpSegments::OnWritable(Connection* connection) {
    Fetch* f = FetchOf(connection);
    if (f && f->phase == Fetch::Phase::Connecting && f->piece >= 0)
        Ask(*f);
    return Step::GoOn();
}

Step HttpSegments::OnData(Connection* connection, const char* data, size_t count) {
    Fetch* f = FetchOf(connection);
    if (!f || count == 0)
        return Step::GoOn();
    f->countdown = HttpTransfer::TimeoutSetting(30);
    if (f->phase == Fetch::Phase::Body)
        return Body(*f, data, count);
    if (f->phase != Fetch::Phase::Asking)
        return Step::GoOn();
    size_t end = f->header.Append(data, count);
    while (end != 0) {
        HeaderTable header;
        header.Parse(f->header.Bytes().substr(0, end));
        if (header.Status() < 100 || header.Status() > 199 || header.Status() == 101)
            break;
        end = f->header.DropAndFind(end); // an interim answer: the real one follows
    }
    if (end == 0) {
        if (f->header.Size() > HttpTransfer::kMaxHeader) {
            Record(*f, "response header too large", 'E');
            return Failure(*f, "response header too large", false);
        }
        return Step::GoOn();
    }
    return OnHeader(*f, end);
}

Step HttpSegments::OnHeader(Fetch& f, size_t headerLength) {
    HeaderTable header;
    header.Parse(f.header.Bytes().substr(0, headerLength));
    Record(f, header.Count() ? header.Name(0) : std::string(), 'I');
    const SegmentPlan::Piece& piece = m_plan.At(f.piece);
    SegmentAsked asked;
    asked.url = m_job.m_item->Url();
    asked.first = piece.next;
    asked.last = f.wireEnd - 1;
    asked.stored = m_job.m_item->StoredValidators();
    SegmentVerdict verdict = JudgeSegmentResponse(header, asked);
    switch (verdict.kind) {
    case SegmentVerdict::Kind::Body:
        break;
    case SegmentVerdict::Kind::WholeFile:
        return GiveUp(f, verdict.why, verdict.sameFile);
    case SegmentVerdict::Kind::StartOver:
        return GiveUp(f, verdict.why, false);
    case SegmentVerdict::Kind::Redirect:
        Record(f, "redirect to location: " + verdict.url, '!');
        return Step::Restart(verdict.url); // the new job goes on with the kept state
    case SegmentVerdict::Kind::Retry:
        Record(f, verdict.why, 'E');
        return Failure(f, verdict.why, false);
    }
    f.phase = Fetch::Phase::Body;
    f.wireEnd = verdict.last + 1;
    // A persistent connection can ask for the next piece once this answer has ended.
    std::string connection = AsciiLower(TrimText(header.Find("Connection")));
    f.reusable = header.Count() && header.Name(0).starts_with("HTTP/1.1") && connection != "close";
    std::string rest = f.header.TakeRest(headerLength);
    if (rest.empty())
        return Step::GoOn();
    return Body(f, rest.data(), rest.size());
}

int64_t HttpSegments::PlainBytes(const Connection* connection) const {
    const Fetch* f = FetchOf(connection);
    if (!f || f->phase != Fetch::Phase::Body)
        return 0;
    return std::max<int64_t>(std::min(m_plan.At(f->piece).end, f->wireEnd) - f->wireNext, 0);
}

Step HttpSegments::OnPiped(Connection* connection, int pipeFd, size_t count) {
    Fetch* f = FetchOf(connection);
    if (!f || count == 0)
        return Step::GoOn();
    f->countdown = HttpTransfer::TimeoutSetting(30);
    if (!m_job.m_item->WriteFromPipeAt(f->wireNext, pipeFd, count))
        return Step::Ended();
    return Took(*f, int64_t(count), count);
}

Step HttpSegments::Body(Fetch& f, const char* data, size_t count) {
    const SegmentPlan::Piece& piece = m_plan.At(f.piece);
    // The piece may have been cut short since it was asked for (its back half went to
    // another connection): what lies past its end is not this fetch's any more.
    int64_t useful =
        std::clamp<int64_t>(std::min(piece.end, f.wireEnd) - f.wireNext, 0, int64_t(count));
    if (useful > 0 && !m_job.m_item->WriteDataAt(f.wireNext, data, size_t(useful)))
        return Step::Ended();
    return Took(f, useful, count);
}

Step HttpSegments::Took(Fetch& f, int64_t useful, size_t count) {
    if (useful > 0) {
        if (!m_job.HasFlag(IF_RECEIVING)) {
            m_job.m_receiveStart = m_job.m_bytes;
            m_job.ChangeFlags(IF_RECEIVING, 0);
            m_job.SetAttemptState(TransferJob::AttemptState::Receiving);
            m_job.AddRecord("receiving data", 'R');
        }
        m_plan.Advance(f.piece, useful);
        m_job.m_bytes += useful;
        m_job.ChangeFlags(IF_DIRTY, 0);
        m_dirty = true;
    }
    f.wireNext += int64_t(count);
    if (m_dirty && std::chrono::steady_clock::now() - m_lastSave >= kSaveEvery)
        SaveNow();
    if (m_plan.At(f.piece).Left() == 0)
        return PieceDone(f);
    if (f.wireNext >= f.wireEnd) {
        // The server sent less than was asked: ask again for the rest.
        if (f.reusable) {
            Ask(f);
            return Step::GoOn();
        }
        Drop(f);
        return Connect(f);
    }
    return Step::GoOn();
}

Step HttpSegments::PieceDone(Fetch& f) {
    Record(f, Bytes(f.from, m_plan.At(f.piece).end) + " received", '!');
    if (m_plan.Done()) {
        m_ended = true;
        m_job.m_item->StoreSegments({});
        for (Fetch& each : m_fetches)
            Drop(each);
        return Step::Finish();
    }
    bool clean = f.reusable && f.wireNext == f.wireEnd;
    f.piece = m_plan.Take(f.number - 1);
    if (f.piece < 0) {
        Drop(f);
        f.phase = Fetch::Phase::Idle;
        return Step::GoOn();
    }
    if (clean) {
        Ask(f);
        return Step::GoOn();
    }
    Drop(f); // the answer runs on past the piece
    return Connect(f);
}

Step HttpSegments::OnClosed(Connection* connection) {
    Fetch* f = FetchOf(connection);
    if (!f || f->phase == Fetch::Phase::Idle || f->phase == Fetch::Phase::Waiting)
        return Step::GoOn();
    Record(*f, "connection closed before the end of the segment", 'E');
    return Failure(*f, "connection closed before the end of the file", false);
}

Step HttpSegments::Failure(Fetch& f, const std::string& why, bool waitFirst) {
    Drop(f);
    if (f.piece >= 0)
        m_plan.Release(f.piece);
    f.piece = -1;
    if (Step step = m_job.SpendAttempt(why); !step.GoesOn())
        return step;
    if (waitFirst) {
        // A server that is back in a few seconds should not cost every attempt at once.
        f.phase = Fetch::Phase::Waiting;
        f.countdown = HttpTransfer::TimeoutSetting(0);
        return Step::GoOn();
    }
    return TakeAndConnect(f);
}

Step HttpSegments::GiveUp(Fetch& f, const std::string& why, bool sameFile) {
    m_ended = true;
    for (Fetch& each : m_fetches)
        Drop(each);
    // The file is cut before its state goes: a crash in between leaves a file whose
    // length is not the kept total, which a later start never continues in segments.
    if (sameFile) {
        SegmentState state = m_plan.State();
        int64_t whole = state.missing.empty() ? state.total : state.missing.front().first;
        Record(f, why + ", going on with one connection from byte " + std::to_string(whole), '!');
        m_job.SetStartOffset(whole);
        m_job.m_noSegments = true;
    } else {
        Record(f, why + ": the part on disk is not of this file, starting over", '!');
        m_job.SetStartOffset(0);
        m_job.m_item->StoreValidators({});
    }
    m_job.m_item->StoreSegments({});
    return Step::StartOver();
}

void HttpSegments::Drop(Fetch& f) {
    f.connection.reset();
    f.countdown = -1;
    f.header.Clear();
}

Step HttpSegments::OnTick() {
    for (Fetch& f : m_fetches) {
        if (f.countdown > 0) {
            --f.countdown;
            continue;
        }
        if (f.countdown < 0)
            continue;
        if (f.phase == Fetch::Phase::Waiting) {
            if (Step step = TakeAndConnect(f); !step.GoesOn())
                return step;
            continue;
        }
        if (f.phase == Fetch::Phase::Idle)
            continue;
        Record(f, "timeout", 'E');
        if (Step step = Failure(f, "timed out", false); !step.GoesOn())
            return step;
    }
    if (m_dirty)
        SaveNow();
    return Step::GoOn();
}

void HttpSegments::SaveNow() {
    if (m_ended)
        return;
    m_job.m_item->StoreSegments(m_plan.State());
    m_dirty = false;
    m_lastSave = std::chrono::steady_clock::now();
}

void HttpSegments::Close() {
    SaveNow();
    m_ended = true;
    for (Fetch& f : m_fetches)
        Drop(f);
}

} // namespace vireo
