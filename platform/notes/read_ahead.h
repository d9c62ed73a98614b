// Reading a database's documents ahead of the caller. A conversion fetches the documents of a
// list one after another and spends most of each turn writing the one it has; a thread of
// this reader's own parses the next few meanwhile, so that a second processor core takes the
// reading. What is read ahead is exactly what the caller would have read (the same document,
// or the same error), only earlier; at most Depth documents wait at a time.
#pragma once

#include "dxl_database.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace notes::detail {

class ReadAhead {
public:
    static constexpr std::size_t Depth = 2;

    // Starts reading documents (indices into index's documents) in this order.
    ReadAhead(std::shared_ptr<const DatabaseIndex> index, std::vector<std::uint32_t> documents);
    // Stops, after the document being read, if any.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The document read ahead, when it is one of the order not yet taken (those before it are
    // dropped): waits for it to be read, and throws what reading it threw. Nothing when the
    // document is not ahead in the order; the caller then reads it itself.
    std::optional<ParsedDocument> take(std::uint32_t document);

private:
    struct Read {
        std::uint32_t document = 0;
        std::optional<ParsedDocument> content;
        std::exception_ptr error;
    };
    void run();

    std::shared_ptr<const DatabaseIndex> index_;
    std::vector<std::uint32_t> order_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Read> ready_; // read, not yet taken, in the order
    std::size_t next_ = 0; // the position in order_ the thread reads next (or reads now)
    bool stop_ = false;
    std::thread thread_; // last: started once the rest is set
};

} // namespace notes::detail
