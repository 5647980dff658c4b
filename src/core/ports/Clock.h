// The clock port: the recorder reads local time as a day number through it, so tests can drive any timeline.
#pragma once

namespace quimbrel {

// Day number: days since 30 December 1899 00:00 local time; the fraction is the time of day.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

// The machine's local time, with millisecond resolution.
class SystemClock final : public Clock {
public:
    double now() const override;
};

// A clock that only moves when told to. For tests.
class ManualClock final : public Clock {
public:
    explicit ManualClock(double start = 0.0) : m_now(start) {}
    double now() const override { return m_now; }
    void set(double dayNumber) { m_now = dayNumber; }
    void advanceSeconds(double seconds) { m_now += seconds / 86400.0; }

private:
    double m_now;
};

} // namespace quimbrel
