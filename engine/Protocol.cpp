// Request/reply frames, the receiver, and the handshake steps every job begins with.
#include "CommThread.h"
#include "FailureText.h"
#include "ReplyReceiver.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int32_t FrameBufferSize = 1024;
constexpr int32_t MaxRequestData = FrameBufferSize - 12;
static_assert(MaxRequestData == MaxCommandData);
constexpr int32_t ReceiveBufferSize = TReplyReceiver::BufferSize;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

int32_t TCommThread::SendCommand(uint16_t command, uint32_t argument, uint8_t* data,
                                 int32_t capacity, int32_t length, int tries, int timeout) {
    if (length < 0 || length > MaxRequestData)
        throw std::invalid_argument("Command data longer than a frame can carry");
    uint8_t frame[FrameBufferSize];
    frame[0] = 0x03;
    frame[1] = 0xFF;
    frame[2] = static_cast<uint8_t>(command);
    frame[3] = static_cast<uint8_t>(command >> 8);
    for (int i = 0; i < 4; ++i)
        frame[4 + i] = static_cast<uint8_t>(argument >> (8 * i));
    frame[8] = static_cast<uint8_t>(length);
    frame[9] = static_cast<uint8_t>(length >> 8);
    frame[10] = FrameChecksum(frame, 10);
    frame[11] = FrameChecksum(data, length);
    if (length > 0)
        std::memcpy(frame + 12, data, static_cast<size_t>(length));

    for (int attempt = 1; attempt <= tries; ++attempt) {
        if (attempt > 1)
            ++FRetries;
        int32_t received = -1;
        try {
            SendData(frame, 12 + length);
            received = ReceiveReply(data, capacity, timeout);
        } catch (const EDatagramError& e) {
            // Before the printer ever answered, a refusal means the address is wrong; after,
            // the printer went away as a serial one does when its cable is pulled.
            if (!FLinkWorked || e.FKind != EDatagramError::Unreachable)
                throw;
            FPeerRefused = true;
        }
        if (received >= 0) {
            FLinkWorked = true;
            if (command != cmdQueryDevice && command != cmdSetLinkRate && command != cmdSelectMode)
                FBytesAcknowledged += length;
            if (FReportFrames)
                Post(new TFrameEvent(command, argument, length, attempt, true));
            return received;
        }
    }
    if (FReportFrames)
        Post(new TFrameEvent(command, argument, length, tries, false));
    Fail(errNoReply, TFailStep::NoReply,
         QStringLiteral("No reply from the printer %1 to command 0x%2 after %3 tries.")
             .arg(LinkPlace())
             .arg(command, 2, 16, QLatin1Char('0'))
             .arg(tries));
    return -1;
}

int32_t TCommThread::ReceiveReply(uint8_t* data, int32_t capacity, int32_t timeout) {
    int32_t taken = 0; // bytes taken in, as the log counts them
    int32_t kept = 0;  // of those, the bytes held in the buffer
    int32_t start = 0;
    int32_t result = -1;
    const uint8_t* buffer = nullptr;

    // Declared before the branches: the log dump below reads its buffer.
    uint8_t datagram[ReceiveBufferSize];
    TReplyReceiver receiver(data, capacity);
    if (FUseDatagram) {
        int32_t size = 0;
        kept = FLink.ReceiveDatagram(datagram, ReceiveBufferSize, timeout, size);
        taken = size;
        buffer = datagram;
        result = TakeDatagramReply(datagram, kept, size, data, capacity);
    } else {
        const int64_t deadline = NowMs() + timeout;
        for (;;) {
            const int32_t want = receiver.Wanted();
            if (want == 0)
                break;
            // Never pass 0 as a read time-out: 0 would mean "no limit".
            const int64_t remaining = deadline - NowMs();
            if (remaining <= 0)
                break;
            int32_t got = 0;
            if (FUart.Read(receiver.ReadTarget(), want, got, static_cast<int32_t>(remaining)) <
                want)
                break;
            receiver.Took();
        }
        taken = kept = receiver.Taken();
        start = receiver.FrameStart();
        result = receiver.Result();
        buffer = receiver.Buffer();
    }

    AddLog("Rec: " + QByteArray::number(taken) + " bytes" + TTrafficLog::TimeStamp());
    if (start + 12 < kept) {
        DumpHex(buffer, start + 12);
        DumpHex(buffer + start + 12, kept - start - 12);
    } else {
        DumpHex(buffer, kept);
    }
    return result;
}

namespace {

QString ModeName(uint32_t mode) {
    return mode == modeProgram ? QStringLiteral("programming mode")
                               : QStringLiteral("download mode");
}

} // namespace

QString TCommThread::LinkPlace() const {
    if (FUseDatagram)
        return QStringLiteral("at %1").arg(
            PeerText(FLink.FActivePeer.FHost, FLink.FActivePeer.FPort));
    return QStringLiteral("on %1").arg(SerialPortText(FPortName, TMyUart::DevicePath(FPortName)));
}

bool TCommThread::QueryDevice() {
    uint8_t buffer[4096];
    std::memcpy(buffer, "DEVICE??", 8);
    const int32_t received = SendCommand(cmdQueryDevice, 0, buffer, 4095, 8, 3, 200);
    if (received < 0) {
        Fail(errNoReply, TFailStep::NoReply,
             FUseDatagram
                 ? QStringLiteral("No reply from the printer %1 after 3 tries. Check the address, "
                                  "the network and the printer's power.")
                       .arg(LinkPlace())
                 : QStringLiteral("No reply from the printer %1 at %2 bit/s after 3 tries. "
                                  "Check the cable, the printer's power and %3 (the rate the "
                                  "printer listens at).")
                       .arg(LinkPlace())
                       .arg(FBaudRate)
                       .arg(RemedyWords(FReader).FRate));
        return false;
    }
    // Only what the printer sent: a short reply leaves the query's own bytes behind it.
    FDeviceId = QByteArray(reinterpret_cast<const char*>(buffer), std::min(received, 8));
    if (FDeviceId == QByteArrayLiteral("PRN 6104") || FDeviceId == QByteArrayLiteral("PRN 61XX"))
        return true;
    Fail(errWrongDevice, TFailStep::WrongDevice,
         QStringLiteral("The device %1 identified as \"%2\", not a printer of this series "
                        "(PRN 6104 or PRN 61XX).")
             .arg(LinkPlace(), IdentificationText(FDeviceId)));
    return false;
}

bool TCommThread::SetLinkRate(int32_t rate) {
    if (FUseDatagram || FUart.FBaudRate == rate)
        return true;
    if (StopsHere(QStringLiteral("Cancelled before the rate change to %1 bit/s.").arg(rate)))
        return false;
    uint8_t buffer[256];
    // Without an answer the printer's rate is unknown: stop the job here.
    if (SendCommand(cmdSetLinkRate, static_cast<uint32_t>(rate), buffer, 255, 0, 1, 600) < 0) {
        Fail(errNoReply, TFailStep::RateChange,
             QStringLiteral("The printer %1 did not accept the rate change to %2 bit/s (no "
                            "reply).")
                 .arg(LinkPlace())
                 .arg(rate));
        return false;
    }
    if (!FUart.SetBaudRate(rate)) {
        Fail(errRateChange, TFailStep::RateChange,
             QStringLiteral("The printer %1 changed to %2 bit/s, but the port could not follow.")
                 .arg(LinkPlace())
                 .arg(rate));
        return false;
    }
    msleep(6);
    return true;
}

bool TCommThread::SelectMode(uint32_t mode) {
    if (StopsHere(QStringLiteral("Cancelled before %1 was selected.").arg(ModeName(mode))))
        return false;
    uint8_t buffer[256];
    if (SendCommand(cmdSelectMode, mode, buffer, 255, 0, 3, 600) < 0) {
        Fail(mode == modeProgram ? errProgramMode : errDownloadMode, TFailStep::Mode,
             QStringLiteral("The printer %1 did not accept %2 (no reply after 3 tries).")
                 .arg(LinkPlace(), ModeName(mode)));
        return false;
    }
    msleep(30);
    return true;
}

bool TCommThread::OpenLink() {
    if (StopsHere(QStringLiteral("Cancelled before the port was opened.")))
        return false;
    if (!FLink.Open(FPortName, FBaudRate)) {
        FUseDatagram = false;
        Fail(errOpenFailed, TFailStep::Open,
             FLink.FUseDatagram ? NoPeerText(FReader)
                                : OpenFailureText(FPortName, FUart, FBaudRate, FReader));
        return false;
    }
    FUseDatagram = FLink.FUseDatagram;
    FLinkOpened = true;
    msleep(10);
    if (StopsHere(QStringLiteral("Cancelled before the printer was identified.")))
        return false;
    return QueryDevice();
}

void TCommThread::SendData(const uint8_t* data, int32_t count) {
    FLink.Send(data, count);
}

void TCommThread::CloseLink() {
    FLinkOpened = false;
    FLink.Close();
}
