#include "title_fetcher.h"

#include "media_roots.h"

#include <QElapsedTimer>
#include <QFile>

TitleFetcher::TitleFetcher(SmbCredentials* smbCredentials, quint16 smbPort, int smbTimeoutMs,
                           webclient::Timeouts timeouts)
    : smbCredentials_(smbCredentials), smbPort_(smbPort), smbTimeoutMs_(smbTimeoutMs),
      timeouts_(timeouts) {}

TitleFetcher::~TitleFetcher() = default;

TitleFetcher::Result TitleFetcher::fetch(const FetchJob& job, const ProgressFn& progress) {
    std::lock_guard<std::mutex> lock(running_);
    const auto cancelled = [&] { return stopping_ || cancelId_ == job.id; };
    if (cancelled()) return {QString(), QStringLiteral("abgebrochen")};
    QElapsedTimer sinceReport;
    sinceReport.start();
    const webclient::ProgressFn report = [&](qint64 bytes, qint64 total) {
        if (cancelled()) return false;
        if (sinceReport.elapsed() >= 100) {
            sinceReport.restart();
            progress(bytes, total);
        }
        return true;
    };
    webclient::TransferResult result;
    if (mediaroots::isSmbPath(job.source)) {
        if (!smb_) smb_ = std::make_unique<SmbSession>(smbCredentials_, smbPort_, smbTimeoutMs_);
        result = smb_->download(job.source, job.localFile, report);
    } else {
        result = webclient::download(job.source, job.login, job.localFile, report, timeouts_);
    }
    if (result.ok) {
        progress(result.bytes, result.expected);
        return {job.localFile, QString()};
    }
    // Nothing half-done stays behind to be taken for the title.
    QFile::remove(job.localFile);
    return {QString(), result.error.isEmpty() ? QStringLiteral("Fehler") : result.error};
}
