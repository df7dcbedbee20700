// set-factory: the Factory page's block, with a serial number given or taken from a counter
// file that never gives one number to two printers.

#include "Commands.h"

#include "CliRequest.h"
#include "CliText.h"
#include "ExitStatus.h"
#include "PortJobs.h"
#include "PortStep.h"
#include "Preflight.h"
#include "PrinterCommands.h"
#include "Report.h"
#include "SerialCounter.h"
#include "StopSignals.h"
#include "TextToInt.h"

#include <cstring>
#include <deque>
#include <map>

namespace {

// How long a run waits for another run's hold on the serial counter or the record.
constexpr int kLockTimeoutMs = 60000;

const QString kSerialFile = QStringLiteral("serial-file");
const QString kRecord = QStringLiteral("record");

// A file error after the printer's outcome: the printer's own failure stays the result.
void FileTrouble(TJobSet& set, TPortRunner& pr, const ECliError& e) {
    if (pr.FStatus == exitOk) {
        pr.FStatus = e.FStatus;
        pr.FMessage = e.Message();
    } else {
        set.PortNote(pr, e.Message());
    }
}

// The printer's number and the record's line: took says whether the printer got it or may hold
// it, decided before any file trouble could change the printer's status.
void RecordSerial(const QString& record, TJobSet& set, TPortRunner& pr, const QString& model,
                  const QString& serial, bool took, bool sentNotConfirmed) {
    if (took)
        pr.FSerial = serial;
    if (record.isEmpty())
        return;
    try {
        AppendCsvRecord(
            record,
            {QStringLiteral("time"), QStringLiteral("port"), QStringLiteral("identification"),
             QStringLiteral("model"), QStringLiteral("serial"), QStringLiteral("result")},
            {JournalTime(), pr.FPort, pr.FDeviceId.isEmpty() ? QString() : IdText(pr.FDeviceId),
             model, took ? serial : QString(),
             sentNotConfirmed ? journal::SentNotConfirmed : ResultText(pr.FStatus)},
            kLockTimeoutMs);
    } catch (const ECliError& e) {
        FileTrouble(set, pr, e);
    }
}

// A factory block that went out unanswered: the printer may hold the number.
bool SentNotConfirmed(TPortRunner& pr, const QString& serial) {
    if (pr.FStatus == exitOk || !pr.FCommandSent)
        return false;
    pr.FNote = QStringLiteral("serial %1 %2").arg(serial, journal::SentNotConfirmed);
    pr.FMessage += QStringLiteral(" Serial %1 may be in that printer: check it before giving "
                                  "%1 to another printer by hand.")
                       .arg(serial);
    return true;
}

QByteArray FactoryModel(const TCliRequest& r, qsizetype serialLength) {
    const QByteArray model = SingleByte(QStringLiteral("MODEL"), TrimCtl(r.FArgs.at(0)));
    const int64_t length = TextPairLength(model.size(), serialLength, false);
    if (length > MaxCommandData)
        Usage(TextPairTooLong(QStringLiteral("MODEL"), QStringLiteral("SERIAL"), length,
                              MaxCommandData));
    return model;
}

// A serial number given on the command line (one port only; never in a station).
class TGivenSerialStep : public TPortStep {
public:
    TGivenSerialStep(const TCliRequest& r, const QByteArray& model, const QByteArray& serial)
        : TPortStep(r, jobCommand, {}), FRecord(r.Option(kRecord)),
          FModel(QString::fromLatin1(model)), FSerial(QString::fromLatin1(serial)) {
        uint8_t block[MaxCommandData];
        FCommand = CommandStep(r, cmdSetFactoryInfo, block,
                               PackTextPair(block, MaxCommandData, model, serial, false));
    }

    bool Start(TJobSet& set, TPortRunner& pr, std::function<void()> done) override {
        return FCommand->Start(set, pr, [this, &set, &pr, done = std::move(done)] {
            const bool spent = SentNotConfirmed(pr, FSerial);
            RecordSerial(FRecord, set, pr, FModel, FSerial, pr.FStatus == exitOk || spent, spent);
            done();
        });
    }

private:
    std::unique_ptr<TPortStep> FCommand;
    QString FRecord;
    QString FModel;
    QString FSerial;
};

// One printer at a time per counter file, within this process as across processes: a port
// that reaches its factory step while another printer holds the counter waits its turn, in
// the order they came.
class TCounterGate {
public:
    explicit TCounterGate(const QString& path) : FCounter(path) {}
    TSerialCounter FCounter;

    // turn runs when the counter is this port's; refused when the counter failed for the
    // printer before it while this one waited.
    void Wait(std::function<void()> turn, std::function<void(const ECliError&)> refused) {
        FWaiting.push_back({std::move(turn), std::move(refused)});
        if (!FBusy)
            Next();
    }
    void Leave() {
        FBusy = false;
        Next();
    }
    // The counter could not be reserved: those waiting now would fail the same way (a lock
    // another run holds would keep each of them for the whole time-out).
    void RefuseWaiting(const ECliError& e) {
        auto waiting = std::move(FWaiting);
        FWaiting.clear();
        for (auto& w : waiting)
            w.second(e);
    }

    static TCounterGate& For(const QString& path) {
        static std::map<QString, std::unique_ptr<TCounterGate>> gates;
        auto& gate = gates[path];
        if (!gate)
            gate = std::make_unique<TCounterGate>(path);
        return *gate;
    }

private:
    void Next() {
        if (FBusy || FWaiting.empty())
            return;
        FBusy = true;
        auto turn = std::move(FWaiting.front().first);
        FWaiting.pop_front();
        turn();
    }
    std::deque<std::pair<std::function<void()>, std::function<void(const ECliError&)>>> FWaiting;
    bool FBusy = false;
};

// Printers are numbered one after another. Each number is reserved (journalled, the counter
// moved on) before its printer is sent anything, and stays locked until the printer's outcome:
// used, given back when nothing was sent, or spent when the printer may hold it.
class TCounterStep : public TPortStep {
public:
    TCounterStep(const TCliRequest& r, const QByteArray& model)
        : TPortStep(r, jobCommand, {}), FRecord(r.Option(kRecord)), FVerbose(r.FVerbose),
          FModel(model),
          FGate(TCounterGate::For(TSerialCounter::CounterPath(r.Option(kSerialFile)))) {}

    bool Start(TJobSet& set, TPortRunner& pr, std::function<void()> done) override {
        if (StopSignal() != 0)
            return false;
        pr.ClearResult();
        FGate.Wait([this, &set, &pr, done] { Turn(set, pr, done); },
                   [&pr, done](const ECliError& e) {
                       pr.FStatus = StopStatus() != 0 ? StopStatus() : e.FStatus;
                       pr.FMessage = e.Message();
                       done();
                   });
        return true;
    }

private:
    void Turn(TJobSet& set, TPortRunner& pr, const std::function<void()>& done) {
        TSerialCounter& counter = FGate.FCounter;
        int64_t serial = 0;
        try {
            if (StopSignal() != 0)
                throw ECliError(StopStatus(),
                                QStringLiteral("Stopped by %1 before a serial number was "
                                               "reserved.")
                                    .arg(SignalName(StopSignal())));
            serial = counter.Reserve(pr.FPort, kLockTimeoutMs,
                                     [&](const QString& line) { set.Note(line); });
        } catch (const ECliError& e) {
            pr.FStarted = StopSignal() == 0;
            pr.FStatus = StopStatus() != 0 ? StopStatus() : e.FStatus;
            pr.FMessage = e.Message();
            FGate.RefuseWaiting(e);
            FGate.Leave();
            done();
            return;
        }
        const QByteArray text = QByteArray::number(qlonglong(serial));
        TCommThread& w = pr.Worker();
        w.FCmdLength = PackTextPair(w.FCmdData, MaxCommandData, FModel, text, false);
        w.FCmdCode = cmdSetFactoryInfo;
        w.FCmdArg = 0;
        const bool started = StartJob(set, pr, [this, &set, &pr, text, done] {
            const QString serialText = QString::fromLatin1(text);
            const bool spent = SentNotConfirmed(pr, serialText);
            const bool took = pr.FStatus == exitOk || spent;
            try {
                if (pr.FStatus == exitOk) {
                    pr.FNote = QStringLiteral("serial ") + serialText;
                    FGate.FCounter.Used();
                } else if (spent) {
                    FGate.FCounter.SentNotConfirmed();
                } else {
                    FGate.FCounter.Return();
                }
            } catch (const ECliError& e) {
                FileTrouble(set, pr, e);
            }
            RecordSerial(FRecord, set, pr, QString::fromLatin1(FModel), serialText, took, spent);
            done();
            FGate.Leave();
        });
        if (!started) {
            // Stopped between the reservation and the start: nothing was sent.
            try {
                counter.Return();
            } catch (const ECliError& e) {
                set.PortNote(pr, e.Message());
            }
            pr.FStatus = StopStatus();
            pr.FMessage = QStringLiteral("Stopped by %1 before the printer was sent anything.")
                              .arg(SignalName(StopSignal()));
            done();
            FGate.Leave();
        } else if (FVerbose) {
            set.PortNote(pr, QStringLiteral("serial %1, %2")
                                 .arg(QString::fromLatin1(text),
                                      BlockText(cmdSetFactoryInfo, w.FCmdData, w.FCmdLength)));
        }
    }

    QString FRecord;
    bool FVerbose;
    QByteArray FModel;
    TCounterGate& FGate;
};

std::unique_ptr<TPortStep> Prepare(const TCliRequest& r) {
    if (r.FOptions.contains(kSerialFile))
        return std::make_unique<TCounterStep>(r, FactoryModel(r, TSerialCounter::kDigits));
    const QByteArray serial = SingleByte(QStringLiteral("SERIAL"), TrimCtl(r.FArgs.at(1)));
    return std::make_unique<TGivenSerialStep>(r, FactoryModel(r, serial.size()), serial);
}

void ArgCount(const TCliRequest& r, int& minArgs, int& maxArgs) {
    if (!r.FOptions.contains(kSerialFile)) {
        minArgs = 2;
        return;
    }
    if (r.FArgs.size() == 2)
        Usage(QStringLiteral("With --serial-file, set-factory takes MODEL only: the serial "
                             "number comes from the file."));
    maxArgs = 1;
}

void Check(const TCliRequest& r) {
    if (TrimCtl(r.FArgs.value(0)).isEmpty())
        Usage(QStringLiteral("set-factory: MODEL is empty; the printer would keep no model name."));
    if (r.FOptions.contains(kSerialFile)) {
        const QString counter = TSerialCounter::CounterPath(r.Option(kSerialFile));
        TSerialCounter::Peek(counter);
        CheckWritable(counter, true);
        CheckWritable(TSerialCounter::LockPath(counter), false);
        CheckWritable(TSerialCounter::JournalPath(counter), false, true);
    } else if (TrimCtl(r.FArgs.value(1)).isEmpty()) {
        Usage(QStringLiteral("set-factory: SERIAL is empty; the printer would keep no serial "
                             "number."));
    } else if (r.FStation) {
        Usage(QStringLiteral("set-factory with the serial number %1 in a station would give every "
                             "printer the same number: use --serial-file.")
                  .arg(Quoted(TrimCtl(r.FArgs.value(1)))));
    } else if (r.FPorts.size() > 1) {
        Usage(QStringLiteral("set-factory with the serial number %1 on %2 ports would give every "
                             "printer the same number: name one port, or use --serial-file.")
                  .arg(Quoted(TrimCtl(r.FArgs.value(1))))
                  .arg(r.FPorts.size()));
    }
    if (r.FOptions.contains(kRecord))
        CheckWritable(r.Option(kRecord), false);
}

} // namespace

TCliCommand SetFactoryCommand() {
    TCliCommand c;
    c.FName = historyjob::SetFactory;
    c.FHelp = {{QStringLiteral("set-factory MODEL SERIAL"),
                QStringLiteral("write the model name and serial number (on one port)")},
               {QStringLiteral("set-factory MODEL --serial-file FILE"),
                QStringLiteral("take the serial number from a counter file: the next number\n"
                               "as decimal text. Each number is reserved before its printer\n"
                               "is sent anything (the counter moved on, FILE.journal told);\n"
                               "it is given back only when the printer was sent nothing, and\n"
                               "never goes to two printers. FILE.lock beside it keeps parallel\n"
                               "runs apart. With several ports the printers are numbered one\n"
                               "after another.")}};
    c.FMinArgs = 1;
    c.FMaxArgs = 2;
    c.FOptions = {{{kSerialFile},
                   QStringLiteral("FILE"),
                   QStringLiteral("the serial number counter (see above)"),
                   false,
                   true},
                  {{kRecord},
                   QStringLiteral("FILE"),
                   QStringLiteral("append one CSV line per printer: time, port, identification,\n"
                                  "model, serial, result"),
                   false,
                   true}};
    c.FArgCount = ArgCount;
    c.FCheck = Check;
    c.FPrepare = Prepare;
    return c;
}
