// Files, folders and playlists handed to the player from outside, collected
// off the UI thread (see persist/opened_files.h for what is taken).
//
// Requests are served one at a time, in the order they came: each one's
// entries arrive (through `arrived`, on the UI thread) after those of every
// earlier request. The room a request may fill is asked for when its search
// starts, so it counts what the earlier ones added. A search reads at most
// kMaxVisitedEntries directory entries. A newer request stops the folder
// searches of every earlier one at their next entry (what they found so far
// still arrives, with `foldersStopped` set); the files and playlists they
// name are still taken, so a program that hands over one file at a time
// loses none.
//
// A search's entries arrive in parts of kPartSize, one part per turn of the
// event loop (a 0 ms timer), so that a full playlist's worth does not hold
// the window: the first part carries `playFirst` and everything that was
// left out, the later ones only entries.
//
// Threads: the object lives on the UI thread and is used only there. Each
// search runs on a thread of its own, detached: cancel() and the destructor
// set the search's cancel flag and return at once, without waiting for a
// search that is stuck in a hung folder. The search shares only its Job
// (shared_ptr) with this object; it posts its result to the UI thread under
// the Job's mutex, and the destructor clears the Job's receiver under the
// same mutex, so nothing is posted to a destroyed object.
#pragma once

#include "persist/opened_files.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

namespace tarn {

class FileImport final : public QObject {
    Q_OBJECT
public:
    // Requests waiting behind a running search, at most: more are refused.
    static constexpr int kMaxWaiting = 64;
    static constexpr qsizetype kPartSize = 2000;

    // `room` gives the entries the playlist can still take; `arrived` takes
    // a request's entries and what was left out.
    FileImport(std::function<qsizetype()> room,
               std::function<void(const OpenedFiles &, bool playFirst)> arrived);
    ~FileImport() override;

    // False when too many requests wait already: this one is dropped.
    bool request(const QStringList &paths, bool playFirst);
    // Stops the running search at its next entry and drops the waiting
    // requests; nothing more arrives for them.
    void cancel();
    bool busy() const { return running_ != nullptr || arriving_ != nullptr; }

    // Runs on the search's thread before each directory entry is read
    // (tests hold a search there). Set before the request.
    void setVisitHook(std::function<void()> hook) { visitHook_ = std::move(hook); }

private:
    struct Job;
    struct Request {
        QStringList paths;
        bool playFirst = false;
        quint64 serial = 0;
    };
    void startNext();
    void finished(const std::shared_ptr<Job> &job);
    void deliverPart(); // the next part of arriving_, then the next search

    std::function<qsizetype()> room_;
    std::function<void(const OpenedFiles &, bool)> arrived_;
    std::function<void()> visitHook_;
    std::deque<Request> waiting_;
    // The serial of the newest request; a search stops its folders once it
    // is above the search's own. Shared with the searches' threads.
    std::shared_ptr<std::atomic<quint64>> newest_ = std::make_shared<std::atomic<quint64>>(0);
    std::shared_ptr<Job> running_;  // the search under way
    std::shared_ptr<Job> arriving_; // a finished search whose entries go in part by part
    qsizetype delivered_ = 0;       // of arriving_'s entries
    QTimer *partTimer_ = nullptr;   // a child of this object
};

} // namespace tarn
