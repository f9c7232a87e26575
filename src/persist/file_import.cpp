#include "persist/file_import.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace tarn {

struct FileImport::Job {
    QStringList paths;
    bool playFirst = false;
    CollectLimits limits;
    std::atomic<bool> cancel{false};
    OpenedFiles result; // written by the search, read on the UI thread once posted

    std::mutex mutex;
    FileImport *receiver = nullptr; // guarded by `mutex`; cleared when the import goes
};

FileImport::FileImport(std::function<qsizetype()> room,
                       std::function<void(const OpenedFiles &, bool)> arrived)
    : room_(std::move(room)), arrived_(std::move(arrived)), partTimer_(new QTimer(this))
{
    partTimer_->setSingleShot(true);
    partTimer_->setInterval(0);
    connect(partTimer_, &QTimer::timeout, this, &FileImport::deliverPart);
}

FileImport::~FileImport()
{
    if (!running_)
        return;
    running_->cancel = true;
    const std::lock_guard lock(running_->mutex);
    running_->receiver = nullptr;
}

bool FileImport::request(const QStringList &paths, bool playFirst)
{
    if (waiting_.size() >= std::size_t(kMaxWaiting))
        return false;
    waiting_.push_back({paths, playFirst, ++*newest_});
    if (!busy())
        startNext();
    return true;
}

void FileImport::cancel()
{
    waiting_.clear();
    arriving_.reset();
    partTimer_->stop();
    if (!running_)
        return;
    running_->cancel = true;
    {
        const std::lock_guard lock(running_->mutex);
        running_->receiver = nullptr;
    }
    running_.reset();
}

void FileImport::startNext()
{
    if (waiting_.empty())
        return;
    auto job = std::make_shared<Job>();
    job->paths = std::move(waiting_.front().paths);
    job->playFirst = waiting_.front().playFirst;
    job->limits.stopFolders = [newest = newest_, serial = waiting_.front().serial] {
        return newest->load(std::memory_order_relaxed) > serial;
    };
    waiting_.pop_front();
    job->limits.room = std::max<qsizetype>(0, room_());
    job->limits.cancel = &job->cancel;
    job->limits.visiting = visitHook_;
    job->receiver = this;
    running_ = job;
    try {
        std::thread([job] {
            job->result = collectOpenedFiles(job->paths, job->limits);
            const std::lock_guard lock(job->mutex);
            if (job->receiver)
                QMetaObject::invokeMethod(
                    job->receiver, [receiver = job->receiver, job] { receiver->finished(job); },
                    Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error &) {
        // No thread to be had: say so rather than search on the UI thread.
        for (const QString &path : std::as_const(job->paths))
            job->result.skipped.append({QFileInfo(path).fileName(),
                                        QStringLiteral("the player could not start reading it")});
        QMetaObject::invokeMethod(
            this, [this, job] { finished(job); }, Qt::QueuedConnection);
    }
}

void FileImport::finished(const std::shared_ptr<Job> &job)
{
    if (job != running_)
        return; // cancelled meanwhile
    running_.reset();
    arriving_ = job;
    delivered_ = 0;
    deliverPart();
}

void FileImport::deliverPart()
{
    const std::shared_ptr<Job> job = arriving_;
    if (!job)
        return;
    const OpenedFiles &all = job->result;
    OpenedFiles part;
    const bool first = delivered_ == 0;
    if (first) {
        part = all;
        part.entries.clear();
    }
    const qsizetype size = std::min(kPartSize, all.entries.size() - delivered_);
    part.entries = all.entries.mid(delivered_, size);
    delivered_ += size;
    const bool last = delivered_ >= all.entries.size();
    if (last)
        arriving_.reset();
    arrived_(part, first && job->playFirst);
    // The window may have cancelled (Exit) while taking the entries.
    if (arriving_ == job)
        partTimer_->start();
    else if (last && !busy())
        startNext();
}

} // namespace tarn
