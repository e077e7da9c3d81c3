#include "tools/interruption.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "tools/terminal_text.h"

#ifndef _WIN32
#  include <csignal>
#  include <unistd.h>
#endif

namespace {

// The states of the one writing span. Handlers run on any thread (on Windows
// always on one of their own), so every change is one atomic step.
enum SpanState : int {
    Idle = 0,                // no temporary file exists
    Writing = 1,             // a temporary file may exist
    WritingInterrupted = 2,  // as Writing, and an interruption arrived
};
std::atomic<int> spanState{Idle};
static_assert(std::atomic<int>::is_always_lock_free, "the handlers need a lock-free state");

// A span ended with an interruption noted; no span opens after it.
std::atomic<bool> interruptedBefore{false};

// The exit status of the first interruption; 0 before one.
constexpr int SignalStatusBase = 128;
std::atomic<int> interruptionStatus{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handlers need a lock-free status");

// Whether stderr is a terminal, found before any handler can run: a line
// drawn there is ended before the message.
bool terminal = false;

#ifdef _WIN32
constexpr char InterruptedMessage[] = "vellum: interrupted\r\n";
#else
constexpr char InterruptedMessage[] = "vellum: interrupted\n";
#endif
constexpr int TestInterruptWaitSeconds = 30;
constexpr std::chrono::milliseconds TestInterruptPoll{5};

// An interruption with its exit status: inside a span it is noted, outside
// the process ends. Answers only when it was noted.
void Interrupt(int status) {
    int none = 0;
    interruptionStatus.compare_exchange_strong(none, status);
    int expected = Writing;
    if (spanState.compare_exchange_strong(expected, WritingInterrupted) || expected == WritingInterrupted) return;
#ifdef _WIN32
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (terminal) WriteFile(error, "\r\n", 2, &written, nullptr);
    WriteFile(error, InterruptedMessage, sizeof InterruptedMessage - 1, &written, nullptr);
    // Ends every thread where it stands, the plug-in's too; nothing is half
    // written, and nothing at exit may wait for a lock a thread holds.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(InterruptionStatus()));
#else
    if (terminal) {
        ssize_t ignored = write(STDERR_FILENO, "\n", 1);
        (void)ignored;
    }
    ssize_t ignored = write(STDERR_FILENO, InterruptedMessage, sizeof InterruptedMessage - 1);
    (void)ignored;
    _exit(InterruptionStatus());
#endif
}

#ifdef _WIN32
BOOL WINAPI OnControlEvent(DWORD event) {
    Interrupt(ExitInterrupted);
    // Windows ends the process when the handler of these returns; the main
    // thread ends it instead once its temporary file is gone.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        for (;;) Sleep(INFINITE);
    }
    return TRUE;
}
#else
void OnSignal(int signal) { Interrupt(SignalStatusBase + signal); }
#endif

}  // namespace

void InstallInterruptionHandlers() {
    terminal = StandardErrorIsTerminal();
#ifdef _WIN32
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Calls the plug-in is in go on: the progress callback stops the writing.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A closed pipe answers the write with an error instead of ending the
    // process, so that a file half written is removed first; the command then
    // ends quietly with the status SIGPIPE would give (OutputReaderGone).
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool BeginWriting() {
    if (interruptedBefore) return false;
    int expected = Idle;
    return spanState.compare_exchange_strong(expected, Writing);
}

void EndWriting() {
    if (spanState.exchange(Idle) == WritingInterrupted) interruptedBefore = true;
}

int InterruptionStatus() {
    const int status = interruptionStatus.load();
    return status != 0 ? status : ExitInterrupted;
}

bool InterruptionPending() { return interruptedBefore || spanState.load() == WritingInterrupted; }

void PauseForTestInterruption() {
    static bool paused = false;
    if (paused) return;
    paused = true;
#ifdef _WIN32
    const WCHAR* marker = _wgetenv(L"VELLUM_TEST_INTERRUPT_MARKER");
    if (marker == nullptr || *marker == 0) return;
    FILE* file = _wfopen(marker, L"wb");
#else
    const char* marker = std::getenv("VELLUM_TEST_INTERRUPT_MARKER");
    if (marker == nullptr || *marker == 0) return;
    FILE* file = std::fopen(marker, "wb");
#endif
    if (file != nullptr) std::fclose(file);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(TestInterruptWaitSeconds);
    while (!InterruptionPending() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(TestInterruptPoll);
}
