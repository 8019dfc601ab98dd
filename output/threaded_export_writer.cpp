#include "threaded_export_writer.h"

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

TelemetryRecord *ThreadedExportWriter::nextRecord()
{
    Batch &batch = filling();
    return &batch.records[batch.count];
}

void ThreadedExportWriter::add(std::uint64_t recordNumber, const TelemetryRecord &record)
{
    Batch &batch = filling();
    TelemetryRecord &slot = batch.records[batch.count];
    if (&slot != &record) // not decoded in place
        slot = record;
    batch.numbers[batch.count] = recordNumber;
    if (++batch.count == BatchRecords)
        submit(false);
}

void ThreadedExportWriter::flush()
{
    if (!threaded_) {
        // Nothing has gone to a thread yet: the rows are made here.
        Batch &batch = filling();
        for (std::size_t i = 0; i < batch.count; ++i)
            rows_.writeRecord(batch.numbers[i], batch.records[i]);
        batch.count = 0;
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
    changed_.notify_all();
    // The next batch is free once the thread has made the rows it held.
    waitFor(lock, [this] { return submitted_ - formatted_ < Batches; });
    // What the thread finished meanwhile goes to the file now, so that the
    // thread does not wait for a free block.
    writeFinishedBlocks(lock);
    filling().count = 0;
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
            changed_.wait(lock, [this] { return stop_ || formatted_ < submitted_; });
            if (stop_)
                return;
            Batch &batch = batches_[formatted_ % Batches];
            lock.unlock();
            for (std::size_t i = 0; i < batch.count; ++i)
                rows_.writeRecord(batch.numbers[i], batch.records[i]);
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
