#include "threaded_export_writer.h"

#include "decoding_session.h"

namespace kesta {

ThreadedExportWriter::ThreadedExportWriter(RecordExporter::Format format, OutputFile &file,
                                           std::string_view station)
    : file_(file),
      rows_(
          format, [this](std::string &block, std::size_t size) { handOn(block, size); }, station)
{
    rows_.writeHeader();
    spare_.resize(SpareBlocks);
}

ThreadedExportWriter::~ThreadedExportWriter()
{
    if (!thread_.joinable())
        return;
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ThreadedExportWriter::add(std::uint64_t recordNumber, std::span<const std::uint8_t> bytes,
                               std::optional<std::int64_t> receptionTime)
{
    Batch &batch = filling();
    batch.bytes.insert(batch.bytes.end(), bytes.begin(), bytes.end());
    batch.entries[batch.count] = Entry{recordNumber, receptionTime, batch.bytes.size()};
    if (++batch.count == BatchRecords)
        submit(false);
}

void ThreadedExportWriter::format(const Batch &batch)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < batch.count; ++i) {
        const Entry &entry = batch.entries[i];
        DecodeRecord(std::span(batch.bytes).subspan(start, entry.end - start), entry.time,
                     record_);
        rows_.writeRecord(entry.number, record_);
        start = entry.end;
    }
}

void ThreadedExportWriter::flush()
{
    if (!threaded_) {
        // Nothing has gone to a thread yet: the rows are made here.
        Batch &batch = filling();
        format(batch);
        batch.count = 0;
        batch.bytes.clear();
        rows_.flush();
    } else {
        submit(true);
        std::unique_lock lock(mutex_);
        waitFor(lock, [this] { return formatted_ == submitted_; });
        writeFinishedBlocks(lock);
    }
    file_.flush();
}

void ThreadedExportWriter::submit(bool flush)
{
    filling().flush = flush;
    if (!threaded_) {
        threaded_ = true; // set before the thread exists, so it sees it
        thread_ = std::thread([this] { run(); });
    }
    std::unique_lock lock(mutex_);
    ++submitted_;
    if (idle_ && (flush || submitted_ - formatted_ >= WakeAt))
        changed_.notify_all();
    // The next batch is free once the thread has made the rows it held.
    waitFor(lock, [this] { return submitted_ - formatted_ < Batches; });
    // What the thread finished meanwhile goes to the file now, so that the
    // thread does not wait for a free block.
    writeFinishedBlocks(lock);
    filling().count = 0;
    filling().bytes.clear();
}

template <typename Done>
void ThreadedExportWriter::waitFor(std::unique_lock<std::mutex> &lock, Done done)
{
    for (;;) {
        if (failure_)
            std::rethrow_exception(failure_);
        if (done())
            return;
        if (!finished_.empty())
            writeFinishedBlocks(lock);
        else
            changed_.wait(lock);
    }
}

void ThreadedExportWriter::writeFinishedBlocks(std::unique_lock<std::mutex> &lock)
{
    while (!finished_.empty()) {
        Block block = std::move(finished_.front());
        finished_.pop_front();
        lock.unlock();
        // A failed file skips the write: the run asks the file and stops.
        file_.writeBlock(block.text, block.size);
        lock.lock();
        spare_.push_back(std::move(block.text));
        changed_.notify_all();
    }
}

void ThreadedExportWriter::handOn(std::string &block, std::size_t size)
{
    if (!threaded_) {
        file_.writeBlock(block, size);
        return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || !spare_.empty(); });
    if (stop_)
        return; // the rows are dropped; the block is reused as it is
    finished_.push_back(Block{std::move(block), size});
    block = std::move(spare_.back());
    spare_.pop_back();
    changed_.notify_all();
}

void ThreadedExportWriter::run()
{
    try {
        std::unique_lock lock(mutex_);
        for (;;) {
            idle_ = true;
            changed_.wait(lock, [this] { return stop_ || formatted_ < submitted_; });
            idle_ = false;
            if (stop_)
                return;
            Batch &batch = batches_[formatted_ % Batches];
            lock.unlock();
            format(batch);
            if (batch.flush)
                rows_.flush();
            lock.lock();
            ++formatted_;
            changed_.notify_all();
        }
    } catch (...) {
        const std::lock_guard lock(mutex_);
        failure_ = std::current_exception();
        changed_.notify_all();
    }
}

} // namespace kesta
