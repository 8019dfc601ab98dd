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
#include <optional>
#include <span>
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
// The caller hands over frames in batches of a few hundred: their bytes and times
// only, which is a fifth of what their decoded records would be to carry from one
// core to the other. The formatting thread decodes each frame as the session does and
// writes the rows into blocks of the export writer's size and hands the full
// blocks back, and the caller gives them to the file. Only the caller ever touches
// the file, so the file's failure, its stop check and its closing stay as they are
// for every other output. Memory is bounded: at most eight batches of frames and two
// blocks of rows exist, and a caller that is faster than the formatting waits for a
// free batch.
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

    // The frame's record is made by the formatting thread, as the session makes it.
    void add(std::uint64_t recordNumber, std::span<const std::uint8_t> bytes,
             std::optional<std::int64_t> receptionTime);
    // Every row added so far is made and handed to the file; then the file is flushed.
    void flush();

    static constexpr std::size_t BatchRecords = 256;

private:
    static constexpr std::size_t Batches = 8;
    // The thread is woken when this many batches wait (or at a flush), so that it makes
    // the rows of several batches per wake instead of sleeping after each one.
    static constexpr std::size_t WakeAt = Batches / 2;
    static constexpr std::size_t SpareBlocks = 1; // beside the one being filled

    struct Entry
    {
        std::uint64_t number;
        std::optional<std::int64_t> time;
        std::size_t end; // of the frame's bytes in Batch::bytes
    };
    struct Batch
    {
        std::vector<std::uint8_t> bytes; // the frames one after the other
        std::array<Entry, BatchRecords> entries{};
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
    // The rows of a batch's frames, by the thread that formats.
    void format(const Batch &batch);
    // The formatting thread's side.
    void run();
    void handOn(std::string &block, std::size_t size);

    OutputFile &file_;
    RecordExportWriter rows_; // the formatting thread's once it runs
    TelemetryRecord record_;  // the formatting thread's, reused frame after frame
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
    bool idle_ = false; // the thread waits for batches
    std::exception_ptr failure_; // what ended the formatting thread
};

} // namespace kesta
