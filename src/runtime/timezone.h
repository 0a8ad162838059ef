// Local time-zone bias, read once at start-up.
#pragma once
// Minutes to add to UTC to get local time (tm_gmtoff / 60).
int timeZoneBiasMinutes();
void readTimeZoneBias();
