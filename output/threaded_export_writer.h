#pragma once

#include "output_file.h"
#include "record_export.h"
#include "telemetry_record.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace kesta {

// A CSV or JSON Lines export whose rows are made on a thread of their own, so that
// the decoding thread goes on with the next frames meanwhile: formatting the rows is
// as much work as reading and decoding the log.
//
// The caller hands over records in batches of a thousand or so; the formatting
// thread writes their rows into blocks of the export writer's size and hands the full
// blocks back, and the caller gives them to the file. Only the caller ever touches
// the file, so the file's failure, its stop check and its closing stay as they are
// for every other output. Memory is bounded: at most three batches and three blocks
// exist, and a caller that is faster than the formatting waits for a free batch.
//
// The rows are those of one RecordExportWriter fed in order, so the file is byte for
// byte the one a single thread writes. A small export (fewer records than a batch
// until its flush) never starts the thread: its rows are made by the caller at the
// flush. Destroying the writer stops the thread at once; rows not flushed are dropped,
// as a failed or cancelled export drops its file.
class ThreadedExportWriter
{
public:
    ThreadedExportWriter(RecordExporter::Format format, OutputFile &file,
                         std::string_view station = {});
    ~ThreadedExportWriter();
    ThreadedExportWriter(const ThreadedExportWriter &) = delete;
    ThreadedExportWriter &operator=(const ThreadedExportWriter &) = delete;

    // The place of the next record in the batch being filled: a record decoded there
    // is taken by add() without a copy.
    TelemetryRecord *nextRecord();
    void add(std::uint64_t recordNumber, const TelemetryRecord &record);
    // Every row added so far is made and handed to the file; then the file is flushed.
    void flush();

    static constexpr std::size_t BatchRecords = 256;

private:
    static constexpr std::size_t Batches = 4;
    static constexpr std::size_t SpareBlocks = 2; // beside the one being filled

    struct Batch
    {
        std::vector<TelemetryRecord> records = std::vector<TelemetryRecord>(BatchRecords);
        std::array<std::uint64_t, BatchRecords> numbers{};
        std::size_t count = 0;
        bool flush = false; // hand on the rows' partly filled block after this batch
    };
    struct Block
    {
        std::string text;
        std::size_t size = 0;
    };

    Batch &filling() { return batches_[submitted_ % Batches]; }
    // Hands the batch being filled to the formatting thread (starting it at the first
    // batch) and waits until the next batch is free.
    void submit(bool flush);
    // Writes the blocks the formatting thread has finished; called with `lock` held,
    // which is let go while the file writes.
    void writeFinishedBlocks(std::unique_lock<std::mutex> &lock);
    // Waits, writing finished blocks meanwhile, until `done` holds; rethrows what
    // stopped the formatting thread.
    template <typename Done> void waitFor(std::unique_lock<std::mutex> &lock, Done done);
    // The formatting thread's side.
    void run();
    void handOn(std::string &block, std::size_t size);

    OutputFile &file_;
    RecordExportWriter rows_; // the formatting thread's once it runs
    std::array<Batch, Batches> batches_;
    std::thread thread_;
    bool threaded_ = false; // rows go through the thread (set by the caller before it starts)

    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t submitted_ = 0; // batches handed over; the caller fills batch submitted_
    std::uint64_t formatted_ = 0; // batches whose rows are made
    std::deque<Block> finished_;  // full blocks for the file, in order
    std::vector<std::string> spare_;
    bool stop_ = false;
    std::exception_ptr failure_; // what ended the formatting thread
};

} // namespace kesta
