#include "progress_line.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFirstDraw = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(250);
// Kept short: a line that wraps cannot be wiped with a carriage return.
constexpr size_t kLabelRoom = 36;

// The end of a long name (its most telling part), cut on a UTF-8 character
// boundary; control characters would move the cursor and become '?'.
std::string Shorten(const std::string& label)
{
    std::string text = label;
    if (text.size() > kLabelRoom) {
        size_t from = text.size() - (kLabelRoom - 3);
        while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80)
            ++from;
        text = "..." + text.substr(from);
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return text;
}

}  // namespace

bool StderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

bool StdoutIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

ProgressLine::ProgressLine(bool wanted, const std::string& label, uint64_t total)
    : enabled_(wanted && StderrIsTerminal()), label_(Shorten(label)), total_(total), start_(Clock::now()),
      nextDraw_(start_ + kFirstDraw)
{
}

ProgressLine::~ProgressLine()
{
    Clear();
}

void ProgressLine::Advance(uint64_t bytes)
{
    done_ += bytes;
    if (!enabled_)
        return;
    const auto now = Clock::now();
    if (now < nextDraw_)
        return;
    nextDraw_ = now + kRedraw;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double mb = done_ / 1e6;
    char text[160];
    int n = 0;
    if (total_ > 0)
        n = std::snprintf(text, sizeof text, "%s %3u%%  %.1f/%.1f MB  %.0f MB/s", label_.c_str(),
                          unsigned(done_ * 100 / total_), mb, total_ / 1e6, seconds > 0 ? mb / seconds : 0.0);
    else
        n = std::snprintf(text, sizeof text, "%s  %.1f MB  %.0f MB/s", label_.c_str(), mb,
                          seconds > 0 ? mb / seconds : 0.0);
    if (n < 0)
        return;
    const size_t width = size_t(n) < sizeof text ? size_t(n) : sizeof text - 1;
    // Spaces over what a longer earlier line left.
    std::fprintf(stderr, "\r%s%*s", text, int(shownWidth_ > width ? shownWidth_ - width : 0), "");
    std::fflush(stderr);
    if (width > shownWidth_)
        shownWidth_ = width;
}

void ProgressLine::Clear()
{
    if (shownWidth_ == 0)
        return;
    std::fprintf(stderr, "\r%*s\r", int(shownWidth_), "");
    std::fflush(stderr);
    shownWidth_ = 0;
}
