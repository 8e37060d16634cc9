// Times the command channel on a test server with the driver emulator:
// the median of one exchange ("test"), and of one adjustment followed by
// reading the mode line back. Prints microseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "driver/channel.h"
#include "driver_support.h"
#include "core/globals.h"
#include "support/xserver.h"

using namespace cvx::test;
using Clock = std::chrono::steady_clock;

namespace {

double median_us(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double elapsed_us(Clock::time_point since)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

}  // namespace

int main()
{
    TempRoot root;
    XServerOptions options;
    options.driver_emulator = true;
    XServer server(options);
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    CurrentScreen = 0;
    constexpr int rounds = 500;

    std::vector<double> round_trip, plain_mod, exchange, adjust;
    driver::Mode m = driver::current_mode(display, 0);
    // Baselines on the same server: one request round trip, and the same
    // modification request without the marker.
    for (int i = 0; i < rounds; ++i) {
        const auto t = Clock::now();
        m = driver::current_mode(display, 0);
        round_trip.push_back(elapsed_us(t));
    }
    for (int i = 0; i < rounds; ++i) {
        const auto t = Clock::now();
        XF86VidModeModModeLine(display, 0, &m.line);
        XSync(display, False);
        plain_mod.push_back(elapsed_us(t));
    }
    for (int i = 0; i < rounds; ++i) {
        const auto t = Clock::now();
        isDriverModed(&m.line, display);
        exchange.push_back(elapsed_us(t));
    }
    for (int i = 0; i < rounds; ++i) {
        const auto t = Clock::now();
        (i % 2 ? moveScreenRight : moveScreenLeft)(&m.line, display);
        m = driver::current_mode(display, 0);
        adjust.push_back(elapsed_us(t));
    }
    std::printf("GetModeLine round trip: median %.1f us over %d\n", median_us(round_trip), rounds);
    std::printf("ModModeLine + XSync, no marker: median %.1f us over %d\n", median_us(plain_mod), rounds);
    std::printf("exchange (\"test\"): median %.1f us over %d\n", median_us(exchange), rounds);
    std::printf("adjustment + GetModeLine: median %.1f us over %d\n", median_us(adjust), rounds);
    XCloseDisplay(display);
    return 0;
}
