#pragma once
// Time as the waits of a send run see it: a monotonic clock in milliseconds
// and a wait that a stop request ends early. Retries and the pace limit go
// through it, so tests replace it and never sleep.
#include <chrono>
#include <functional>

namespace sendrix::merge {

class RunTime {
public:
    virtual ~RunTime() = default;
    // Monotonic time; only differences mean anything.
    virtual std::chrono::milliseconds now() const = 0;
    // Returns true once now() has reached `until`, false as soon as
    // `stopRequested` says true (asked at least every tenth of a second).
    virtual bool waitUntil(std::chrono::milliseconds until, const std::function<bool()>& stopRequested) = 0;
};

// The steady clock of the system; waits sleep in slices of 100 ms.
class SteadyRunTime final : public RunTime {
public:
    std::chrono::milliseconds now() const override;
    bool waitUntil(std::chrono::milliseconds until, const std::function<bool()>& stopRequested) override;
};

SteadyRunTime& steadyRunTime();

}  // namespace sendrix::merge
