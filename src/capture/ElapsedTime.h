#pragma once

#include <QString>

// "mm:ss" for a recording's running time: whole minutes (not capped at 59)
// and the remaining seconds. Negative or non-finite durations show 00:00.
QString formatElapsedTime(double seconds);
