// A status line on a terminal's stderr, for the slow steps: what is being
// done and the seconds it has taken so far.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

// Drawn at once, redrawn every second by a ticker thread and on Update,
// erased when it goes out of scope. Made only when stderr is a terminal.
class StatusLine {
public:
    explicit StatusLine(std::string text);
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // Shows `text` instead; drawn at once unless a drawing was very recent.
    void Update(std::string text);

private:
    using Clock = std::chrono::steady_clock;

    void Tick();
    void DrawLocked();

    std::mutex mutex_;                        // guards everything below and the writes to stderr
    std::condition_variable wake_;            // ends the ticker's wait early when the line goes
    std::string text_;                        // what the line says, without the seconds
    const Clock::time_point start_ = Clock::now();  // when the step began
    Clock::time_point drawnAt_;               // when the line was last drawn
    size_t drawnWidth_ = 0;                   // the widest line drawn, in bytes
    bool done_ = false;                       // the line is going; the ticker ends
    std::thread ticker_;                      // redraws the seconds; absent if it could not start
};
