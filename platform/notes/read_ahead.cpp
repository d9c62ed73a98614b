#include "read_ahead.h"

#include <algorithm>

namespace notes::detail {

ReadAhead::ReadAhead(std::shared_ptr<const DatabaseIndex> index, std::vector<std::uint32_t> documents)
    : index_(std::move(index))
    , order_(std::move(documents))
    , thread_([this] { run(); })
{
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ReadAhead::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stop_ || ready_.size() < Depth; });
        if (stop_ || next_ >= order_.size())
            return;
        const std::uint32_t document = order_[next_];
        lock.unlock();
        Read read;
        read.document = document;
        try {
            read.content = readDocument(*index_, document, "NotesDatabase", "GetDocumentByID");
        } catch (...) {
            read.error = std::current_exception();
        }
        lock.lock();
        ++next_;
        ready_.push_back(std::move(read));
        changed_.notify_all();
    }
}

std::optional<ParsedDocument> ReadAhead::take(std::uint32_t document)
{
    std::unique_lock lock(mutex_);
    // Ahead means read and waiting, or being read, or next to be read (the thread then waits
    // for room, taken by documents the caller went past).
    auto waiting = std::find_if(ready_.begin(), ready_.end(), [&](const Read& r) { return r.document == document; });
    if (waiting == ready_.end()) {
        if (next_ >= order_.size() || order_[next_] != document)
            return std::nullopt;
        ready_.clear(); // the caller went past them
        changed_.notify_all();
        changed_.wait(lock, [&] { return stop_ || !ready_.empty(); });
        if (ready_.empty() || ready_.front().document != document)
            return std::nullopt;
        waiting = ready_.begin();
    }
    ready_.erase(ready_.begin(), waiting);
    Read read = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    lock.unlock();
    if (read.error)
        std::rethrow_exception(read.error);
    return std::move(read.content);
}

} // namespace notes::detail
