// The refresh-rate rounding of the model, apart from config/config.h so that
// code beside the X server uses it without the configuration library.
#pragma once

// The refresh rate of a mode in whole Hz: dot clock (kHz) * 1000 / (htotal *
// vtotal), halves rounded up (x100 + 50, truncated, / 100); 0 when the totals
// give no frame. Mode-line names and every window's figures use it.
int confRefreshRate(int dotClockKHz, int htotal, int vtotal);
