#include "satnogs_frames.h"

#include <algorithm>
#include <cstring>

namespace kesta {

namespace {

// "YYYY-MM-DD HH:MM:SS|" and the hex digits of the longest frame, with a CR.
constexpr std::size_t TimeLength = 19;
constexpr std::size_t LongestLine = TimeLength + 1 + 2 * SatnogsMaxFrameBytes + 1;

// Looked at to tell the format: far more than any frame line.
constexpr std::size_t SniffLength = 4096;

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The `length` decimal digits at `text`, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t length)
{
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (H. Hinnant's
// days_from_civil).
std::int64_t DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

bool IsBlank(std::string_view line)
{
    return std::all_of(line.begin(), line.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\r';
    });
}

} // namespace

std::optional<std::int64_t> ParseSatnogsLine(std::string_view line, std::vector<std::uint8_t> &frame)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() < TimeLength + 1 || line[4] != '-' || line[7] != '-' || line[10] != ' ' ||
        line[13] != ':' || line[16] != ':' || line[TimeLength] != '|')
        return std::nullopt;
    const int year = Digits(line, 0, 4);
    const int month = Digits(line, 5, 2);
    const int day = Digits(line, 8, 2);
    const int hour = Digits(line, 11, 2);
    const int minute = Digits(line, 14, 2);
    const int second = Digits(line, 17, 2);
    if (year < 1970 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    static constexpr int MonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > MonthDays[month - 1] + (month == 2 && leap ? 1 : 0))
        return std::nullopt;

    const std::string_view hex = line.substr(TimeLength + 1);
    if (hex.size() % 2 != 0 || hex.size() / 2 < SatnogsMinFrameBytes ||
        hex.size() / 2 > SatnogsMaxFrameBytes)
        return std::nullopt;
    frame.assign(1, 0x00);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        frame.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    const std::int64_t seconds =
        DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return seconds * 1000;
}

std::optional<LogFormat> SniffLogFormat(std::span<const std::uint8_t> start, bool endOfInput)
{
    const std::string_view text(reinterpret_cast<const char *>(start.data()),
                                std::min(start.size(), SniffLength));
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line =
            text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        if (end == std::string_view::npos && !endOfInput && start.size() < SniffLength) {
            // The line goes on; a byte no frame line holds (a KISS log's FEND first of
            // all) decides at once.
            const std::size_t first = line.find_first_not_of(" \t\r");
            if (first != std::string_view::npos &&
                (line[first] < '0' || line[first] > '9' ||
                 line.find_first_not_of("0123456789abcdefABCDEF-: |\r", first) !=
                     std::string_view::npos))
                return LogFormat::Kiss;
            return std::nullopt;
        }
        if (!IsBlank(line)) {
            std::vector<std::uint8_t> frame;
            return ParseSatnogsLine(line, frame) ? LogFormat::SatnogsFrames : LogFormat::Kiss;
        }
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
    if (!endOfInput && start.size() < SniffLength)
        return std::nullopt;
    return LogFormat::Kiss;
}

SatnogsReader::SatnogsReader(FrameHandler onFrame) : onFrame_(std::move(onFrame))
{
    line_.reserve(LongestLine);
}

void SatnogsReader::feed(std::span<const std::uint8_t> chunk)
{
    const char *p = reinterpret_cast<const char *>(chunk.data());
    const char *const end = p + chunk.size();
    while (p != end) {
        const void *found = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        const char *stop = found != nullptr ? static_cast<const char *>(found) : end;
        const auto length = static_cast<std::size_t>(stop - p);
        if (!lineTooLong_) {
            if (line_.size() + length > LongestLine)
                lineTooLong_ = true;
            else
                line_.append(p, length);
        }
        position_ += length;
        p = stop;
        if (found == nullptr)
            break;
        ++p;
        ++position_;
        endLine();
    }
}

void SatnogsReader::finish()
{
    if (!line_.empty() || lineTooLong_)
        endLine();
}

void SatnogsReader::endLine()
{
    if (lineTooLong_) {
        ++stats_.badLines;
        if (stats_.firstBadLine == 0)
            stats_.firstBadLine = lineNumber_;
    } else if (!IsBlank(line_)) {
        if (const auto time = ParseSatnogsLine(line_, frame_)) {
            ++stats_.frameLines;
            if (onFrame_)
                onFrame_(KissFrame{frame_, time, lineStart_, time});
        } else {
            ++stats_.badLines;
            if (stats_.firstBadLine == 0)
                stats_.firstBadLine = lineNumber_;
        }
    }
    line_.clear();
    lineTooLong_ = false;
    lineStart_ = position_;
    ++lineNumber_;
}

} // namespace kesta
