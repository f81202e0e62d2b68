// The display "modes" the options offer: the machine's 800 x 600 16-bit picture at each refresh
// rate the host display reports. The window scales the picture itself, so only the rate differs.
#pragma once

#include <string>
#include <vector>

namespace orvet {

// Each rate once, in the order the display reported them; unknown rates (0) left out.
std::vector<int> DistinctRefreshRates(const std::vector<int>& reported);

// "800x600 16 bit 60Hz", as the options list labels a mode.
std::string DisplayModeLabel(int refreshRate);

// The rates of the display the window is on (SDL's video layer must be running); at least one,
// the desktop's own, 60 Hz when the display does not say.
std::vector<int> HostRefreshRates(int displayIndex);

// The refresh rate a stored index names, or the first when the index lies outside the list
// (another display, another driver): a stale setting never indexes past the end.
int RefreshRateAt(const std::vector<int>& rates, unsigned index);

}  // namespace orvet
