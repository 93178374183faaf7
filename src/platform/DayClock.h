#pragma once

#include <functional>

// The time of day as the pause loop reads it: seconds since local midnight, with
// fractions, back to 0 at midnight. Tests put their own clock in its place to
// stand just before midnight.
namespace dayclock {

double secondsSinceMidnight();

// Replaces the clock until called again; an empty function restores the real one.
void overrideForTesting(std::function<double()> clock);

} // namespace dayclock
