#include "SimFaults.h"

#include <algorithm>

namespace {

// Data of an ordinary reply: 00 01 02 ... of the asked length.
QByteArray ReplyData(int length) {
    QByteArray data(std::clamp(length, 0, 0xFFFF), Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i);
    return data;
}

void Corrupt(QByteArray& frame, int at, uint8_t mask) {
    frame[at] = char(uint8_t(frame[at]) ^ mask);
}

} // namespace

int TSimAnswer::Size() const {
    int size = 0;
    for (const QByteArray& piece : FPieces)
        size += int(piece.size());
    return size;
}

TSimAnswer SimDecide(const TSimFrame& request, const TSimFaults& faults,
                     const TSimCounters& counters, const QByteArray& identification) {
    TSimAnswer answer;
    // Faults that apply to selected frames only.
    const bool match = !faults.FFilter || faults.FFilter(request);

    answer.FCountsTry = match && faults.FIgnoreFirstTries > 0;
    const int tries = answer.FCountsTry ? counters.FTries + 1 : 0;
    if (tries > 0 && tries <= faults.FIgnoreFirstTries) {
        answer.FFate =
            QStringLiteral("ignored (try %1 of %2)").arg(tries).arg(faults.FIgnoreFirstTries);
        return answer;
    }
    if (faults.FStopAfterFrames >= 0 && counters.FAnswered >= faults.FStopAfterFrames) {
        answer.FFate = QStringLiteral("not answered (stopped)");
        return answer;
    }
    if (match && faults.FSilent) {
        answer.FFate = QStringLiteral("not answered (silent)");
        return answer;
    }
    if (request.FCommand == SimCmd::SetLinkRate && faults.FNoRateSwitchReply) {
        answer.FFate = QStringLiteral("not answered (no rate reply)");
        return answer;
    }
    answer.FTaken = true;

    QByteArray data = request.FCommand == SimCmd::QueryDevice ? identification
                                                              : ReplyData(faults.FReplyDataLength);
    const bool badChecksum = match && (faults.FBadHeaderChecksum || faults.FBadDataChecksum);
    // A wrong data check needs data to be wrong about.
    if (match && faults.FBadDataChecksum && data.isEmpty())
        data = QByteArrayLiteral("\x01\x02\x03\x04");
    QByteArray frame = SimBuildFrame(kSimReply, request.FCommand, request.FArgument, data);
    if (match && faults.FBadHeaderChecksum)
        Corrupt(frame, kSimHeaderCheckAt, 0x5A);
    if (match && faults.FBadDataChecksum)
        Corrupt(frame, kSimDataCheckAt, 0xA5);
    const QByteArray reply = (match ? faults.FJunkBefore : QByteArray()) + frame;

    int pieces = 1;
    if (match) {
        answer.FDelayMs = std::max(0, faults.FDelayMs);
        if (faults.FSplitPieces > 1) {
            pieces = std::min<int>(faults.FSplitPieces, int(reply.size()));
            answer.FGapMs = std::max(0, faults.FSplitGapMs);
        }
    }
    for (int i = 0; i < pieces; ++i) {
        const int from = int(int64_t(reply.size()) * i / pieces);
        const int to = int(int64_t(reply.size()) * (i + 1) / pieces);
        answer.FPieces.append(reply.mid(from, to - from));
    }

    answer.FFate = QStringLiteral("answered, %1 bytes").arg(reply.size());
    if (answer.FDelayMs > 0)
        answer.FFate += QStringLiteral(", delay %1 ms").arg(answer.FDelayMs);
    if (pieces > 1)
        answer.FFate += QStringLiteral(", %1 pieces").arg(pieces);
    if (badChecksum)
        answer.FFate += QStringLiteral(", bad checksum");
    return answer;
}
