#include "platform/display_modes.h"

#include <SDL.h>

#include <algorithm>

namespace orvet {

std::vector<int> DistinctRefreshRates(const std::vector<int>& reported) {
    std::vector<int> rates;
    for (int rate : reported) {
        if (rate > 0 && std::find(rates.begin(), rates.end(), rate) == rates.end()) {
            rates.push_back(rate);
        }
    }
    return rates;
}

std::string DisplayModeLabel(int refreshRate) {
    return "800x600 16 bit " + std::to_string(refreshRate) + "Hz";
}

std::vector<int> HostRefreshRates(int displayIndex) {
    std::vector<int> reported;
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(displayIndex, &mode) == 0) reported.push_back(mode.refresh_rate);
    const int count = SDL_GetNumDisplayModes(displayIndex);
    for (int index = 0; index < count; ++index) {
        if (SDL_GetDisplayMode(displayIndex, index, &mode) == 0)
            reported.push_back(mode.refresh_rate);
    }
    std::vector<int> rates = DistinctRefreshRates(reported);
    if (rates.empty()) rates.push_back(60);
    return rates;
}

int RefreshRateAt(const std::vector<int>& rates, unsigned index) {
    if (rates.empty()) return 60;
    return index < rates.size() ? rates[index] : rates.front();
}

}  // namespace orvet
