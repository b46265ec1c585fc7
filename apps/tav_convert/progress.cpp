#include "progress.h"

#include <algorithm>
#include <cinttypes>
#include <string>

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(200);
constexpr int kBarWidth = 30;

}  // namespace

ProgressLine::ProgressLine(std::FILE* out, std::uint64_t total_bytes)
    : out_(out), total_(total_bytes), start_(Clock::now()), next_(start_ + kRedraw)
{
}

void ProgressLine::update(std::int64_t records, std::uint64_t bytes_read)
{
    if (out_ == nullptr)
        return;
    Clock::time_point now = Clock::now();
    if (now < next_)
        return;
    next_ = now + kRedraw;
    double seconds = std::chrono::duration<double>(now - start_).count();
    double rate = seconds > 0 ? static_cast<double>(records) / seconds : 0.0;
    std::string line = "\r";
    char part[128];
    if (total_ > 0) {
        double done = std::min(1.0, static_cast<double>(bytes_read) / static_cast<double>(total_));
        int filled = static_cast<int>(done * kBarWidth);
        line += '[';
        line.append(static_cast<std::size_t>(filled), '#');
        line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
        std::snprintf(part, sizeof part, "] %3d%% ", static_cast<int>(done * 100));
        line += part;
        double left = done > 0 ? seconds * (1.0 - done) / done : 0.0;
        long long whole = static_cast<long long>(left);
        std::snprintf(part, sizeof part, "%" PRId64 " records, %.0f/s, %lld:%02lld left ",
                      records, rate, whole / 60, whole % 60);
    } else {
        std::snprintf(part, sizeof part, "%" PRId64 " records, %.0f/s ", records, rate);
    }
    line += part;
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
    drawn_ = true;
}

void ProgressLine::finish()
{
    if (out_ == nullptr || !drawn_)
        return;
    std::fprintf(out_, "\r%*s\r", 79, "");
    std::fflush(out_);
    drawn_ = false;
}
