#pragma once

#include <cstdint>

namespace fabricor {

// Local wall-clock time, as the image's build words need it.
struct LocalTime {
    int year = 2000;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The clock reaches the core through this seam, so a build at a given time can be reproduced.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime Now() = 0;
};

class SystemClock final : public Clock {
public:
    LocalTime Now() override;
};

// Always answers the same time.
class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalTime time) : time_(time) {}
    LocalTime Now() override { return time_; }

private:
    LocalTime time_;
};

} // namespace fabricor
