#include "health_report.h"

#include "value_text.h"

namespace kesta {

namespace {

void AppendNumber(std::string &out, std::uint64_t n)
{
    out += std::to_string(n);
}

void AppendFirst(std::string &out, const LimitFirst &first)
{
    out += "record ";
    AppendNumber(out, first.record);
    if (first.time) {
        out += " at ";
        out += IsoTimeText(*first.time);
    }
}

// "HtxCurrent: 12 in warning, first record 17 at ...; 3 in critical, first ..."
void AppendFieldLine(std::string &out, Field field, const FieldLimitCounts &c)
{
    out += InfoOf(field).name;
    out += ": ";
    if (c.warning == 0 && c.critical == 0) {
        out += "all inside limits\n";
        return;
    }
    AppendNumber(out, c.warning);
    out += " in warning";
    if (c.firstWarning) {
        out += ", first ";
        AppendFirst(out, *c.firstWarning);
    }
    out += "; ";
    AppendNumber(out, c.critical);
    out += " in critical";
    if (c.firstCritical) {
        out += ", first ";
        AppendFirst(out, *c.firstCritical);
    }
    out += '\n';
}

void JsonFirst(std::string &out, const char *key, const std::optional<LimitFirst> &first)
{
    out += ",\"";
    out += key;
    out += "\":";
    if (!first) {
        out += "null";
        return;
    }
    out += "{\"record\":";
    AppendNumber(out, first->record);
    if (first->time) {
        out += ",\"time\":\"";
        out += IsoTimeText(*first->time);
        out += '"';
    }
    out += ",\"value\":";
    AppendValueText(out, first->value);
    out += '}';
}

void JsonLimits(std::string &out, const LimitSet &limits, const LimitTally &tally)
{
    out += '{';
    bool firstField = true;
    for (const Field field : limits.fields()) {
        const FieldLimitCounts &c = tally.of(field);
        if (!firstField)
            out += ',';
        firstField = false;
        out += '"';
        out += InfoOf(field).name;
        out += "\":{\"warning\":";
        AppendNumber(out, c.warning);
        out += ",\"critical\":";
        AppendNumber(out, c.critical);
        JsonFirst(out, "firstWarning", c.firstWarning);
        JsonFirst(out, "firstCritical", c.firstCritical);
        out += '}';
    }
    out += '}';
}

} // namespace

std::string DurationText(std::int64_t ms)
{
    const std::int64_t s = (ms + 500) / 1000;
    std::string text;
    if (s >= 3600) {
        const std::int64_t min = s / 60 % 60;
        text = std::to_string(s / 3600);
        text += min < 10 ? " h 0" : " h ";
        text += std::to_string(min);
        text += " min";
    } else if (s >= 60) {
        text = std::to_string(s / 60);
        text += " min";
        if (s % 60 != 0) {
            text += ' ';
            text += std::to_string(s % 60);
            text += " s";
        }
    } else {
        text = std::to_string(s);
        text += " s";
    }
    return text;
}

std::string HealthSummaryText(const LogHealth &health)
{
    std::string text;
    if (const LimitSet *limits = health.limitSet()) {
        for (const Field field : limits->fields())
            AppendFieldLine(text, field, health.limits().of(field));
    }
    std::size_t n = 0;
    for (const Pass &pass : health.passes()) {
        text += "Pass ";
        AppendNumber(text, ++n);
        text += ": records ";
        AppendNumber(text, pass.first);
        text += " to ";
        AppendNumber(text, pass.last);
        if (pass.start) {
            text += ", ";
            text += IsoTimeText(*pass.start);
            text += " to ";
            text += IsoTimeText(*pass.end);
            text += " (";
            text += DurationText(*pass.end - *pass.start);
            text += ')';
        }
        text += ", ";
        text += CounterText(static_cast<std::int64_t>(pass.frames.htrx),
                            static_cast<std::int64_t>(pass.frames.fss),
                            static_cast<std::int64_t>(pass.frames.fssHi));
        if (health.limitSet() != nullptr) {
            text += ", records in warning: ";
            AppendNumber(text, pass.recordsInWarning);
            text += ", in critical: ";
            AppendNumber(text, pass.recordsInCritical);
        }
        text += '\n';
    }
    return text;
}

void AppendHealthJson(std::string &out, const LogHealth &health)
{
    const LimitSet *limits = health.limitSet();
    if (limits != nullptr) {
        out += ",\"limits\":";
        JsonLimits(out, *limits, health.limits());
    }
    out += ",\"passes\":[";
    bool firstPass = true;
    for (const Pass &pass : health.passes()) {
        if (!firstPass)
            out += ',';
        firstPass = false;
        out += "{\"first\":";
        AppendNumber(out, pass.first);
        out += ",\"last\":";
        AppendNumber(out, pass.last);
        if (pass.start) {
            out += ",\"start\":\"";
            out += IsoTimeText(*pass.start);
            out += "\",\"end\":\"";
            out += IsoTimeText(*pass.end);
            out += '"';
        }
        out += ",\"frames\":{\"HTRX\":";
        AppendNumber(out, pass.frames.htrx);
        out += ",\"FSS\":";
        AppendNumber(out, pass.frames.fss);
        out += ",\"FSS (Hi)\":";
        AppendNumber(out, pass.frames.fssHi);
        out += '}';
        if (limits != nullptr) {
            out += ",\"limits\":";
            JsonLimits(out, *limits, pass.limits);
        }
        out += '}';
    }
    out += ']';
}

} // namespace kesta
