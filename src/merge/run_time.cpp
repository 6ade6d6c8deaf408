#include "merge/run_time.h"

#include <algorithm>
#include <thread>

namespace sendrix::merge {

std::chrono::milliseconds SteadyRunTime::now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

bool SteadyRunTime::waitUntil(std::chrono::milliseconds until, const std::function<bool()>& stopRequested) {
    constexpr std::chrono::milliseconds kSlice{100};
    for (;;) {
        if (stopRequested && stopRequested())
            return false;
        const std::chrono::milliseconds left = until - now();
        if (left <= std::chrono::milliseconds::zero())
            return true;
        std::this_thread::sleep_for(std::min(left, kSlice));
    }
}

SteadyRunTime& steadyRunTime() {
    static SteadyRunTime time;
    return time;
}

}  // namespace sendrix::merge
