#include "limits_file.h"

#include "value_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

// Errors as values, not exceptions: every error is turned into a message anyway.
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

namespace kesta {

namespace {

// A limits file is a few lines per field; anything far larger is another file.
constexpr std::size_t MaxLimitsFileSize = std::size_t{1} << 20;

struct Failure
{
    std::uint32_t line;
    std::string reason;
};

std::string Quoted(std::string_view name)
{
    std::string text = "\"";
    text += name;
    text += '"';
    return text;
}

std::string Number(double value)
{
    return ValueText(value);
}

// A bound: an integer or a floating-point number that is not NaN.
std::optional<double> BoundOf(const toml::node &node, const std::string &what,
                              std::optional<Failure> &failure)
{
    const std::optional<double> value = node.is_number() ? node.value<double>() : std::nullopt;
    if (!value || std::isnan(*value)) {
        failure = Failure{node.source().begin.line, what + " is not a number"};
        return std::nullopt;
    }
    return value;
}

// `warning` or `critical` of a field: [low, high] or { low = ..., high = ... }.
std::optional<LimitRange> RangeOf(const toml::node &node, const std::string &what,
                                  std::optional<Failure> &failure)
{
    const std::uint32_t line = node.source().begin.line;
    LimitRange range;
    if (const toml::array *pair = node.as_array()) {
        if (pair->size() != 2) {
            failure = Failure{line, what + " must be [low, high], two numbers"};
            return std::nullopt;
        }
        range.low = BoundOf(*pair->get(0), what + " low", failure);
        range.high = BoundOf(*pair->get(1), what + " high", failure);
    } else if (const toml::table *bounds = node.as_table()) {
        for (auto &&[key, value] : *bounds) {
            if (key.str() == "low") {
                range.low = BoundOf(value, what + " low", failure);
            } else if (key.str() == "high") {
                range.high = BoundOf(value, what + " high", failure);
            } else {
                failure =
                    Failure{key.source().begin.line, "unknown key " + Quoted(key.str()) + " in " +
                                                         what + " (only low and high)"};
            }
            if (failure)
                return std::nullopt;
        }
        if (!range.low && !range.high) {
            failure = Failure{line, what + " gives neither low nor high"};
            return std::nullopt;
        }
    } else {
        failure = Failure{line, what + " must be [low, high] or { low = ..., high = ... }"};
        return std::nullopt;
    }
    if (failure)
        return std::nullopt;
    if (range.low && range.high && *range.low > *range.high) {
        failure = Failure{line, what + ": low " + Number(*range.low) + " is above high " +
                                    Number(*range.high)};
        return std::nullopt;
    }
    return range;
}

const FieldInfo *FieldNamed(std::string_view name)
{
    for (const FieldInfo &info : Fields) {
        if (info.name == name)
            return &info;
    }
    return nullptr;
}

// The limits of one field's table.
std::optional<FieldLimits> FieldLimitsOf(std::string_view name, const toml::table &table,
                                         std::uint32_t line, std::optional<Failure> &failure)
{
    FieldLimits limits;
    std::uint32_t criticalLine = line;
    for (auto &&[key, value] : table) {
        const std::string what = std::string(key.str()) + " of " + std::string(name);
        if (key.str() == "warning") {
            limits.warning = RangeOf(value, what, failure);
        } else if (key.str() == "critical") {
            limits.critical = RangeOf(value, what, failure);
            criticalLine = value.source().begin.line;
        } else {
            failure = Failure{key.source().begin.line, "unknown key " + Quoted(key.str()) +
                                                           " in [" + std::string(name) +
                                                           "] (only warning and critical)"};
        }
        if (failure)
            return std::nullopt;
    }
    if (!limits.warning && !limits.critical) {
        failure = Failure{line, "[" + std::string(name) + "] gives neither warning nor critical"};
        return std::nullopt;
    }
    // Outside the critical range is worse than outside the warning range, so the
    // critical range must hold the warning range on every side where both have a bound.
    if (limits.warning && limits.critical) {
        const LimitRange &w = *limits.warning;
        const LimitRange &c = *limits.critical;
        std::string side;
        if (w.low && c.low && *c.low > *w.low)
            side = "critical low " + Number(*c.low) + " is above warning low " + Number(*w.low);
        else if (w.high && c.high && *c.high < *w.high)
            side = "critical high " + Number(*c.high) + " is below warning high " + Number(*w.high);
        if (!side.empty()) {
            failure = Failure{criticalLine, std::string(name) + ": " + side +
                                                " (the critical range lies inside the warning "
                                                "range; it must hold it)"};
            return std::nullopt;
        }
    }
    return limits;
}

} // namespace

LimitsFileResult ParseLimits(std::string_view text, const std::string &fileName)
{
    LimitsFileResult result;
    auto fail = [&](std::uint32_t line, const std::string &reason) {
        result.error = fileName + ":" + std::to_string(line) + ": " + reason;
        return result;
    };
    toml::parse_result parsed = toml::parse(text, fileName);
    if (!parsed) {
        const toml::parse_error &error = parsed.error();
        return fail(error.source().begin.line, std::string(error.description()));
    }
    LimitSet limits;
    std::optional<Failure> failure;
    for (auto &&[key, node] : parsed.table()) {
        const std::uint32_t line = key.source().begin.line;
        const FieldInfo *info = FieldNamed(key.str());
        if (info == nullptr)
            return fail(line, "unknown field " + Quoted(key.str()) +
                                  " (limits are keyed by the field names of the JSON Lines "
                                  "export, e.g. HtxCurrent)");
        if (!IsNumeric(info->type))
            return fail(line, Quoted(key.str()) + " is not a numeric field");
        const toml::table *table = node.as_table();
        if (table == nullptr)
            return fail(line, Quoted(key.str()) + " must be a table: [" + std::string(key.str()) +
                                  "] with warning and critical");
        const std::optional<FieldLimits> field = FieldLimitsOf(key.str(), *table, line, failure);
        if (!field)
            return fail(failure->line, failure->reason);
        limits.set(info->field, *field);
    }
    result.limits = std::move(limits);
    return result;
}

LimitsFileResult ReadLimitsFile(const std::string &path)
{
    LimitsFileResult result;
    auto failed = [&](const std::string &reason) {
        result.error = path + ": " + reason;
        return result;
    };
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"),
                                                                &std::fclose);
    if (!file)
        return failed(std::strerror(errno));
    std::string text;
    char buffer[16384];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, n);
        if (text.size() > MaxLimitsFileSize)
            return failed("larger than 1 MiB; not a limits file");
    }
    if (std::ferror(file.get()))
        return failed(std::strerror(errno));
    return ParseLimits(text, path);
}

} // namespace kesta
