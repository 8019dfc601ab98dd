#include "merge_command.h"

#include "decode_command.h"
#include "output_file.h"
#include "output_names.h"
#include "station_name.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>

namespace kesta {

namespace {

void AppendJsonText(std::string &out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            static constexpr char Hex[] = "0123456789abcdef";
            out += "\\u00";
            out += Hex[b >> 4];
            out += Hex[b & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

MergeCommandOutcome Failure(int exitCode, std::string message)
{
    MergeCommandOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.errors.push_back(std::move(message));
    return outcome;
}

} // namespace

std::optional<MergeInput> ParseMergeInput(const std::string &argument, std::string &error)
{
    const std::size_t equals = argument.find('=');
    const std::size_t slash = argument.find('/');
    if (equals == std::string::npos || (slash != std::string::npos && slash < equals))
        return MergeInput{argument, argument};
    MergeInput input{argument.substr(0, equals), argument.substr(equals + 1)};
    if (const auto problem = StationNameProblem(input.name)) {
        error = argument + ": " + *problem + " (a log whose name holds '=' is given as ./" +
                argument + ")";
        return std::nullopt;
    }
    if (input.path.empty()) {
        error = argument + ": the log's name after '=' is empty";
        return std::nullopt;
    }
    return input;
}

MergeCommandOutcome RunMergeCommand(const MergeOptions &options)
{
    MergeRequest request;
    for (const std::string &argument : options.logs) {
        std::string error;
        auto input = ParseMergeInput(argument, error);
        if (!input)
            return Failure(ExitUsage, error);
        request.inputs.push_back(std::move(*input));
    }
    request.outputPath = options.outputPath;
    request.heardByPath = options.heardByPath;
    request.windowMs = std::llround(options.windowSeconds * 1000);
    if (options.cancel != nullptr)
        request.cancel = [cancel = options.cancel] { return cancel->load(); };

    // Every output against every input and each other, the report included, before
    // anything is read or created.
    std::vector<PlannedOutput> planned{{"merged log", options.outputPath}};
    if (options.heardByPath)
        planned.push_back({"heard-by file", *options.heardByPath});
    if (options.reportPath)
        planned.push_back({"report file", *options.reportPath});
    for (const PlannedOutput &output : planned) {
        if (output.path.empty())
            return Failure(ExitUsage, "the " + output.what + "'s name is empty (use - for "
                                                            "standard output)");
    }
    for (const MergeInput &input : request.inputs) {
        if (auto clash = FindOutputClash(input.path, planned)) {
            // Said of a log that is decoded; this one is merged.
            if (const std::size_t at = clash->find(": not decoded: "); at != std::string::npos)
                clash->replace(at, 15, ": not merged: ");
            return Failure(ExitUsage, std::move(*clash));
        }
    }

    MergeCommandOutcome outcome;
    outcome.inputs = request.inputs;
    outcome.result = MergeLogs(request);
    switch (outcome.result.outcome) {
    case MergeResult::Outcome::Merged:
        break;
    case MergeResult::Outcome::Refused:
        outcome.exitCode = ExitUsage;
        outcome.errors.push_back(outcome.result.error);
        return outcome;
    case MergeResult::Outcome::Failed:
        outcome.exitCode = ExitFailure;
        outcome.errors.push_back(outcome.result.error);
        return outcome;
    case MergeResult::Outcome::Cancelled:
        outcome.exitCode = ExitInterrupted;
        outcome.errors.push_back(options.outputPath +
                                 ": interrupted; earlier output files are unchanged");
        return outcome;
    }
    if (options.reportPath) {
        OutputFile report;
        const bool open = *options.reportPath == "-"
                              ? (report.openStandardOutput(), true)
                              : report.open(*options.reportPath, OutputFile::Mode::CreateAnew);
        if (open) {
            report.write(MergeReportJson(outcome));
            report.write("\n");
        }
        if (!open || !report.close()) {
            outcome.exitCode = ExitFailure;
            outcome.errors.push_back(report.error());
        }
    }
    return outcome;
}

std::string MergeSummaryText(const MergeCommandOutcome &outcome)
{
    std::string text;
    for (std::size_t i = 0; i < outcome.inputs.size() && i < outcome.result.inputs.size(); ++i) {
        const MergeCounts &c = outcome.result.inputs[i];
        text += outcome.inputs[i].name + ": " + std::to_string(c.framesRead) + " frames read, " +
                std::to_string(c.onlyHere) + " heard only here, " +
                std::to_string(c.alsoElsewhere) + " also heard elsewhere\n";
    }
    text += "Merged: " + std::to_string(outcome.result.merged) + " frames\n";
    return text;
}

std::string MergeReportJson(const MergeCommandOutcome &outcome)
{
    std::string out = "{\"inputs\":[";
    for (std::size_t i = 0; i < outcome.inputs.size() && i < outcome.result.inputs.size(); ++i) {
        const MergeCounts &c = outcome.result.inputs[i];
        out += i == 0 ? "{\"name\":" : ",{\"name\":";
        AppendJsonText(out, outcome.inputs[i].name);
        out += ",\"path\":";
        AppendJsonText(out, outcome.inputs[i].path);
        out += ",\"framesRead\":" + std::to_string(c.framesRead) +
               ",\"onlyHere\":" + std::to_string(c.onlyHere) +
               ",\"alsoElsewhere\":" + std::to_string(c.alsoElsewhere) + '}';
    }
    out += "],\"merged\":" + std::to_string(outcome.result.merged) + '}';
    return out;
}

int MergeMain(int argc, char **argv, const std::atomic<bool> *cancel)
{
    CLI::App app{"Merges the logs of several stations into one KISS log in which each reception "
                 "appears once, in time order, behind a timestamp frame with its earliest "
                 "reception time. Two frames are the same reception when their bytes are equal "
                 "and their reception times differ by at most the window.",
                 "kesta-decode merge"};
    MergeOptions options;
    options.cancel = cancel;
    std::string heardBy, report;
    bool quiet = false;
    app.add_option("-o,--output", options.outputPath, "The merged log to write (- for standard "
                                                      "output)")
        ->option_text("MERGED")
        ->required();
    app.add_option("--window", options.windowSeconds,
                   "Frames of equal bytes at most this many seconds apart are one reception "
                   "(default 30)")
        ->option_text("SECONDS")
        ->check(CLI::Range(0.0, 86400.0));
    CLI::Option *heardByOption =
        app.add_option("--heard-by", heardBy,
                       "Write one JSON Lines object per merged frame: its record number, time "
                       "and the logs that heard it (- for standard output)")
            ->option_text("FILE");
    CLI::Option *reportOption =
        app.add_option("--report", report,
                       "Write the counts of each log and the merged total as one JSON object to "
                       "FILE (- for standard output)")
            ->option_text("FILE");
    app.add_flag("-q,--quiet", quiet, "Print no counts on standard error");
    app.add_option("LOG", options.logs,
                   "The logs to merge, KISS logs or SatNOGS frame exports, each in time order; "
                   "NAME=LOG names a log NAME in the counts and the heard-by file")
        ->required();
    app.footer("Exit status: 0 success, 1 log or output failure, 2 usage error (among them a "
               "log without timestamp frames beside others), 130 interrupted.");
    try {
        app.parse(argc - 1, argv + 1);
    } catch (const CLI::ParseError &e) {
        return app.exit(e) == 0 ? ExitSuccess : ExitUsage;
    }
    if (heardByOption->count() > 0)
        options.heardByPath = heardBy;
    if (reportOption->count() > 0)
        options.reportPath = report;

    const MergeCommandOutcome outcome = RunMergeCommand(options);
    for (const std::string &error : outcome.errors)
        std::fprintf(stderr, "kesta-decode merge: %s\n", error.c_str());
    if (!quiet && outcome.exitCode == ExitSuccess)
        std::fputs(MergeSummaryText(outcome).c_str(), stderr);
    return outcome.exitCode;
}

} // namespace kesta
