// set-factory: the Factory page's block, with a serial number given or taken from a counter
// file that never gives one number to two printers.

#include "Commands.h"

#include "CliRequest.h"
#include "CliText.h"
#include "ExitStatus.h"
#include "PortJobs.h"
#include "Preflight.h"
#include "PrinterCommands.h"
#include "Report.h"
#include "SerialCounter.h"
#include "StopSignals.h"
#include "TextToInt.h"

#include <cstring>

namespace {

// How long a run waits for another run's hold on the serial counter or the record.
constexpr int kLockTimeoutMs = 60000;
// The most digits a counter's number has.
constexpr qsizetype kCounterDigits = 18;

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

// The record's line for a factory job; the serial is left out when the printer did not get it.
void AppendRecord(const TCliRequest& r, TJobSet& set, TPortRunner& pr, const QString& model,
                  const QString& serial, bool sentNotConfirmed) {
    const QString record = r.Option(kRecord);
    if (record.isEmpty())
        return;
    const bool took = pr.FStatus == exitOk || sentNotConfirmed;
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

void FillWorker(TCommThread& w, const QByteArray& model, const QByteArray& serial) {
    w.FCmdLength = PackTextPair(w.FCmdData, MaxCommandData, model, serial, false);
    w.FCmdCode = cmdSetFactoryInfo;
    w.FCmdArg = 0;
}

int SetFactoryGiven(const TCliRequest& r) {
    const QByteArray serial = SingleByte(QStringLiteral("SERIAL"), TrimCtl(r.FArgs.at(1)));
    const QByteArray model = FactoryModel(r, serial.size());
    if (r.FVerbose) {
        uint8_t block[MaxCommandData];
        Err(BlockText(cmdSetFactoryInfo, block,
                      PackTextPair(block, MaxCommandData, model, serial, false)));
    }
    TJobSet set(r, r.FPorts, false);
    for (const auto& pr : set.Runners()) {
        FillWorker(pr->Worker(), model, serial);
        pr->Start(jobCommand, [&](TPortRunner& done) {
            const QString text = QString::fromLatin1(serial);
            AppendRecord(r, set, done, QString::fromLatin1(model), text,
                         SentNotConfirmed(done, text));
        });
    }
    set.Wait();
    return Report(r, set);
}

// Printers are numbered one after another. Each number is reserved (journalled, the counter
// moved on) before its printer is sent anything, and stays locked until the printer's outcome:
// used, given back when nothing was sent, or spent when the printer may hold it.
int SetFactoryFromCounter(const TCliRequest& r) {
    const QByteArray model = FactoryModel(r, kCounterDigits);
    TJobSet set(r, r.FPorts, false);
    const auto& runners = set.Runners();
    TSerialCounter counter(r.Option(kSerialFile));
    size_t next = 0;
    std::function<void()> startNext = [&] {
        if (next >= runners.size() || StopSignal() != 0)
            return;
        TPortRunner& pr = *runners[next++];
        int64_t serial = 0;
        try {
            serial = counter.Reserve(pr.FPort, kLockTimeoutMs,
                                     [&](const QString& line) { set.Note(line); });
        } catch (const ECliError& e) {
            pr.FStarted = true;
            pr.FStatus = StopStatus() != 0 ? StopStatus() : e.FStatus;
            pr.FMessage = e.Message();
            return; // the rest stay unstarted
        }
        const QByteArray text = QByteArray::number(qlonglong(serial));
        TCommThread& w = pr.Worker();
        FillWorker(w, model, text);
        if (r.FVerbose)
            set.PortNote(pr, QStringLiteral("serial %1, %2")
                                 .arg(QString::fromLatin1(text),
                                      BlockText(cmdSetFactoryInfo, w.FCmdData, w.FCmdLength)));
        const bool started = pr.Start(jobCommand, [&, text](TPortRunner& done) {
            const QString serialText = QString::fromLatin1(text);
            const bool spent = SentNotConfirmed(done, serialText);
            try {
                if (done.FStatus == exitOk) {
                    done.FNote = QStringLiteral("serial ") + serialText;
                    counter.Used();
                } else if (spent) {
                    counter.SentNotConfirmed();
                } else {
                    counter.Return();
                }
            } catch (const ECliError& e) {
                FileTrouble(set, done, e);
            }
            AppendRecord(r, set, done, QString::fromLatin1(model), serialText, spent);
            startNext();
        });
        if (!started) {
            // Stopped between the reservation and the start: nothing was sent.
            try {
                counter.Return();
            } catch (const ECliError& e) {
                set.PortNote(pr, e.Message());
            }
        }
    };
    startNext();
    set.Wait();
    for (const auto& pr : runners)
        if (!pr->FStarted)
            pr->FStatus = StopStatus() != 0 ? StopStatus() : exitFile;
    return Report(r, set);
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
    c.FName = QStringLiteral("set-factory");
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
    c.FRun = [](const TCliRequest& r) {
        return r.FOptions.contains(kSerialFile) ? SetFactoryFromCounter(r) : SetFactoryGiven(r);
    };
    return c;
}
