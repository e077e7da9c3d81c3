#include "tools/status_line.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <utility>

namespace {

// How often the elapsed seconds are redrawn, and how soon after a drawing a
// new text may be drawn.
constexpr std::chrono::seconds StatusTick{1};
constexpr std::chrono::milliseconds StatusRedrawInterval{100};

}  // namespace

StatusLine::StatusLine(std::string text) : text_(std::move(text)) {
    std::lock_guard<std::mutex> lock(mutex_);
    DrawLocked();
    try {
        ticker_ = std::thread([this] { Tick(); });
    } catch (const std::system_error&) {
        // Without a thread the line is only redrawn on Update.
    }
}

StatusLine::~StatusLine() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    wake_.notify_one();
    if (ticker_.joinable()) ticker_.join();
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawnWidth_), "");
    std::fflush(stderr);
}

void StatusLine::Update(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (text == text_) return;
    text_ = std::move(text);
    if (Clock::now() - drawnAt_ >= StatusRedrawInterval) DrawLocked();
}

void StatusLine::Tick() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, StatusTick, [this] { return done_; })) DrawLocked();
}

void StatusLine::DrawLocked() {
    drawnAt_ = Clock::now();
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(drawnAt_ - start_).count();
    std::string line = text_ + "  " + std::to_string(seconds) + " s";
    // Spaces cover whatever a longer line drawn before left behind.
    int cover = static_cast<int>(drawnWidth_ > line.size() ? drawnWidth_ - line.size() : 0);
    std::fprintf(stderr, "\r%s%*s", line.c_str(), cover, "");
    std::fflush(stderr);
    drawnWidth_ = std::max(drawnWidth_, line.size());
}
