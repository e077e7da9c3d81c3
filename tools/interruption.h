// Interruptions (SIGINT, SIGTERM and SIGHUP on Linux; console control events
// on Windows) never leave a half-written file under an entry's name.
//
// While a file is being written (a "writing span", from just before its
// temporary file is made until that file is renamed or removed), an
// interruption only sets a flag: the progress callback then asks the plug-in
// to stop, and the command removes its temporary file, says "interrupted" and
// exits with InterruptionStatus(). Outside a span nothing is half written,
// and an interruption ends the process at once with the same status.
#pragma once

// What a command answers when an interruption stopped it; the process then
// exits with InterruptionStatus().
constexpr int ExitInterrupted = 130;

// 128 + the signal's number, as a shell reports a program the signal ended:
// 130 for SIGINT (and for every console event on Windows), 143 for SIGTERM,
// 129 for SIGHUP.
int InterruptionStatus();

// Installs the handlers; called once, before any work.
void InstallInterruptionHandlers();

// Opens a writing span. False when an interruption came first: then no span
// is open and nothing may be begun.
bool BeginWriting();
// Closes the span opened by BeginWriting.
void EndWriting();
// Whether an interruption arrived during the open span or an earlier one;
// once true, the command stops and exits with ExitInterrupted.
bool InterruptionPending();

// Opens a writing span for its lifetime.
class WritingSpan {
public:
    WritingSpan() : open_(BeginWriting()) {}
    ~WritingSpan() {
        if (open_) EndWriting();
    }
    WritingSpan(const WritingSpan&) = delete;
    WritingSpan& operator=(const WritingSpan&) = delete;
    bool Open() const { return open_; }

private:
    bool open_;  // BeginWriting succeeded
};

// For the tests, called while an entry's file is half written: when
// VELLUM_TEST_INTERRUPT_MARKER names a file, the first call creates that file
// and waits (at most TestInterruptWaitSeconds) until an interruption arrives,
// so that a test can deliver a real signal or console event at that moment.
// Later calls do nothing.
void PauseForTestInterruption();
