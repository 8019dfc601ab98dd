// kss-gen: writes a synthetic KISS log of a KESTA-1 pass.

#include "log_generator.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool writeAll(std::FILE *file, const std::vector<std::uint8_t> &bytes)
{
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    kesta::loggen::GeneratorOptions options;
    std::string output = "-";
    bool noTimestamps = false;
    bool force = false;
    bool quiet = false;

    CLI::App app{"Writes a synthetic KISS log of a KESTA-1 pass: HTRX, FSS and Hi-mode telemetry "
                 "frames, each after a timestamp frame. The same options and seed always give the "
                 "same bytes.",
                 "kss-gen"};
    app.set_version_flag("--version", "kss-gen 1.2.0");
    auto *framesOpt =
        app.add_option("-n,--frames", options.frames, "Number of telemetry frames to write")
            ->capture_default_str();
    auto *sizeOpt = app.add_option("-s,--size", options.targetBytes,
                                   "Write frames until the log holds at least SIZE bytes "
                                   "(suffixes kb, mb, gb: powers of 1024)")
                        ->transform(CLI::AsSizeValue(false));
    framesOpt->excludes(sizeOpt);
    app.add_option("--seed", options.seed, "Seed of the random numbers")->capture_default_str();
    app.add_flag("--no-timestamps", noTimestamps, "Leave out the 0x09 timestamp frames");
    app.add_option("--start-time", options.startTimeMs,
                   "Reception time of the first frame, ms since 1970-01-01 00:00 UTC")
        ->capture_default_str();
    app.add_flag("--malformed", options.malformed,
                 "Inject framing faults: stray bytes and runt frames between frames, FESC "
                 "followed by a wrong byte, extra FENDs, an unterminated last frame");
    app.add_flag("--oversized", options.oversized, "Make some frames longer than 512 bytes");
    app.add_flag("--short", options.shortFrames, "Make some frames shorter than their type needs");
    app.add_option("-o,--output", output, "Output file; - for standard output")
        ->capture_default_str();
    app.add_flag("-f,--force", force, "Overwrite the output file if it exists");
    app.add_flag("-q,--quiet", quiet, "Print no summary on standard error");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    options.timestamps = !noTimestamps;

    std::FILE *file = stdout;
    const bool toStdout = output == "-";
    if (!toStdout) {
        // "x": never replace a file the user did not ask us to replace.
        file = std::fopen(output.c_str(), force ? "wb" : "wbx");
        if (file == nullptr) {
            const int err = errno;
            std::fprintf(stderr, "kss-gen: %s: %s%s\n", output.c_str(), std::strerror(err),
                         err == EEXIST ? " (use --force to replace it)" : "");
            return 1;
        }
    }

    kesta::loggen::LogGenerator generator(options);
    std::vector<std::uint8_t> block;
    block.reserve(1 << 20);
    bool more = true;
    bool ok = true;
    while (more && ok) {
        more = generator.next(block);
        if (block.size() >= (1 << 20) - 4096 || !more) {
            ok = writeAll(file, block);
            block.clear();
        }
    }
    int err = ok ? 0 : errno;
    if (toStdout) {
        if (std::fflush(file) != 0 && ok) {
            ok = false;
            err = errno;
        }
    } else if (std::fclose(file) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        std::fprintf(stderr, "kss-gen: %s: %s\n", toStdout ? "standard output" : output.c_str(),
                     std::strerror(err));
        return 1;
    }

    if (!quiet) {
        const auto &s = generator.summary();
        std::fprintf(stderr,
                     "kss-gen: %llu bytes, %llu telemetry frames (HTRX %llu, FSS %llu of which "
                     "%llu messages, FSS Hi %llu, untyped %llu), %llu timestamp frames",
                     static_cast<unsigned long long>(s.bytes),
                     static_cast<unsigned long long>(s.telemetryFrames),
                     static_cast<unsigned long long>(s.htrxFrames),
                     static_cast<unsigned long long>(s.fssFrames),
                     static_cast<unsigned long long>(s.messageFrames),
                     static_cast<unsigned long long>(s.fssHiFrames),
                     static_cast<unsigned long long>(s.untypedFrames),
                     static_cast<unsigned long long>(s.timestampFrames));
        if (options.malformed || options.oversized || options.shortFrames) {
            std::fprintf(stderr,
                         "; faults: %llu short, %llu oversized, %llu runt, %llu stray bytes, "
                         "%llu bad escapes%s",
                         static_cast<unsigned long long>(s.shortFrames),
                         static_cast<unsigned long long>(s.oversizedFrames),
                         static_cast<unsigned long long>(s.runtFrames),
                         static_cast<unsigned long long>(s.strayBytes),
                         static_cast<unsigned long long>(s.badEscapes),
                         s.unterminatedTail ? ", unterminated last frame" : "");
        }
        std::fprintf(stderr, "\n");
    }
    return 0;
}
