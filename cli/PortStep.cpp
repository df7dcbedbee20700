#include "PortStep.h"

#include "CliRequest.h"
#include "PortJobs.h"
#include "Report.h"

#include <cstring>

TPortStep::TPortStep(const TCliRequest& r, uint8_t job, std::function<void(TCommThread&)> fill)
    : FJob(r.FCommand), FPeerHost(r.FSettings.FPeerHost), FPeerPort(r.FSettings.FPeerPort),
      FJobCode(job), FFill(std::move(fill)), FBaudRate(r.FBaudRate), FLogPath(r.FLogPath) {}

TPortStep::~TPortStep() = default;

bool TPortStep::Start(TJobSet& set, TPortRunner& pr, std::function<void()> done) {
    return StartJob(set, pr, std::move(done));
}

bool TPortStep::StartJob(TJobSet& set, TPortRunner& pr, std::function<void()> onEnd) {
    pr.ClearResult();
    pr.SetLink(FBaudRate, FPeerHost, FPeerPort, set.LogPathFor(FLogPath, pr), set.Verbose());
    if (FFill)
        FFill(pr.Worker());
    pr.FTotal = FTransferBytes;
    return pr.Start(FJobCode, [onEnd = std::move(onEnd)](TPortRunner&) { onEnd(); });
}

std::unique_ptr<TPortStep> CommandStep(const TCliRequest& r, uint16_t code, const uint8_t* block,
                                       int32_t length) {
    if (r.FVerbose)
        Err(BlockText(code, block, length));
    const QByteArray data(reinterpret_cast<const char*>(block), length);
    return std::make_unique<TPortStep>(r, jobCommand, [data, code](TCommThread& w) {
        std::memcpy(w.FCmdData, data.constData(), size_t(data.size()));
        w.FCmdLength = int32_t(data.size());
        w.FCmdCode = code;
        w.FCmdArg = 0;
    });
}

std::unique_ptr<TPortStep> DownloadStep(const TCliRequest& r, const TDownloadFile& file,
                                        int64_t bytes) {
    auto step = std::make_unique<TPortStep>(r, jobDownload,
                                            [file](TCommThread& w) { w.SetDownload(file); });
    step->FTransferBytes = bytes;
    return step;
}
