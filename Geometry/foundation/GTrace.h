#pragma once
// The kernel's trace hook. Passes report progress and diagnostics here; by
// default the messages are discarded. A host or a test may install a sink to
// observe them. Tracing never changes what the kernel computes.

#include <string>
#include <vector>

typedef void (*GTraceSink)(const char* message);

// printf-style; formats and forwards to the sink only when one is installed.
void GTrace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Installs `sink` (null removes it) and returns the previous one.
GTraceSink GSetTraceSink(GTraceSink sink);

// Holds traces back: while a Scope on it lives, the traces of the thread
// that made the Scope go into the capture instead of reaching the sink;
// Replay hands them on, in the order they came. Work run on a helper thread
// traces into one, so that the host's sink is only ever called from the
// thread that called the kernel, and in the order a serial run gives.
class GTraceCapture {
public:
    class Scope {
    public:
        explicit Scope(GTraceCapture& capture);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        GTraceCapture* outer;
    };

    // To the calling thread's own capture when it has one, else to the
    // sink installed now.
    void Replay() const;

private:
    friend void GTrace(const char* format, ...);
    std::vector<std::string> lines;
};
