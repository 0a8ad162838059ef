// Dates: DATE and MQTIME, in local time.
#include <cstdio>
#include <ctime>

#include "script/functions.h"
#include "script/lib_support.h"

namespace kvarn::script {

namespace {

using namespace lib;

constexpr size_t kMaxDateFormat = 99;
constexpr const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

// How many times `c` repeats at format[i], at most `max`.
size_t run(std::string_view f, size_t i, char c, size_t max) {
  size_t n = 0;
  while (n < max && i + n < f.size() && f[i + n] == c) ++n;
  return n;
}

const char* ordinal(int day) {
  if (day == 1 || day == 21 || day == 31) return "st";
  if (day == 2 || day == 22) return "nd";
  if (day == 3 || day == 23) return "rd";
  return "th";
}

std::string formatDate(const std::tm& tm, std::string_view f) {
  std::string out;
  char buf[64];
  auto put = [&](const char* fmt, int v) {
    std::snprintf(buf, sizeof buf, fmt, v);
    out += buf;
  };
  for (size_t i = 0; i < f.size();) {
    char c = f[i];
    size_t n = 1;
    switch (c) {
    case 'H':
      n = run(f, i, 'H', 2);
      put(n == 2 ? "%d" : "%2.2d", tm.tm_hour);
      break;
    case 'h':
      n = run(f, i, 'h', 2);
      put(n == 2 ? "%d" : "%2.2d", tm.tm_hour % 12);
      break;
    case 'M': put("%2.2d", tm.tm_min); break;
    case 'S': put("%2.2d", tm.tm_sec); break;
    case 't':
      std::snprintf(buf, sizeof buf, "%2.2d:%2.2d:%2.2d", tm.tm_hour, tm.tm_min, tm.tm_sec);
      out += buf;
      break;
    case 'd':
      n = run(f, i, 'd', 2);
      if (n == 2) {
        put("%d", tm.tm_mday);
        out += ordinal(tm.tm_mday);
      } else {
        put("%2.2d", tm.tm_mday);
      }
      break;
    case 'D':
      n = run(f, i, 'D', 2);
      out += n == 2 ? std::string(kDays[tm.tm_wday]) : std::string(kDays[tm.tm_wday], 3);
      break;
    case 'm':
      n = run(f, i, 'm', 3);
      if (n == 1) out += std::string(kMonths[tm.tm_mon], 3);
      else if (n == 2) put("%2.2d", tm.tm_mon + 1);
      else out += kMonths[tm.tm_mon];
      break;
    case 'y':
      n = run(f, i, 'y', 2);
      put(n == 2 ? "%2.2d" : "%4.4d", n == 2 ? (tm.tm_year + 1900) % 100 : tm.tm_year + 1900);
      break;
    case 'j': put("%d", tm.tm_yday); break;
    case 'J': put("%d", tm.tm_yday + 1); break;
    case 'P': out += tm.tm_hour < 12 ? "AM" : "PM"; break;
    case 'p': out += tm.tm_hour < 12 ? "am" : "pm"; break;
    case '\\':
      if (i + 1 < f.size()) out += f[i + 1];
      n = 2;
      break;
    default: out += c; break;
    }
    i += n;
  }
  return out;
}

bool dateFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (a.size() > 2) {
    ctx.setError("Unrecognised parameters to date() function");
    return false;
  }
  std::time_t when = a.empty() || a[0].isNotSet() ? std::time(nullptr) : static_cast<std::time_t>(intArg(a[0]));
  if (a.size() > 0 && a[0].type() == LexemeType::Dbl) when = static_cast<std::time_t>(clampToInt(a[0].asDbl()));
  std::string_view format = "H:M d/mm/y";
  if (a.size() == 2 && a[1].isString()) format = a[1].bytes().substr(0, kMaxDateFormat);
  std::tm tm{};
  if (!localtime_r(&when, &tm)) {
    if (ctx.checkMode()) {
      r.setView({});
      return true;
    }
    ctx.setError("Invalidate date in date() function");
    return false;
  }
  r.setOwned(formatDate(tm, format));
  return true;
}

// Digits of s[at, at+n) as a number; -1 when they are not all digits.
int digitsAt(std::string_view s, size_t at, size_t n) {
  if (at + n > s.size()) return -1;
  int v = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return -1;
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

bool mqtimeFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  std::string_view date = a[0].isString() ? a[0].bytes() : std::string_view();
  std::string_view time = a[1].isString() ? a[1].bytes() : std::string_view();
  std::tm tm{};
  tm.tm_year = 70;
  tm.tm_mday = 1;
  tm.tm_isdst = -1;
  if (date.size() == 8 && time.size() == 8) {  // YYYYMMDD with HHMMSShh
    int y = digitsAt(date, 0, 4), mo = digitsAt(date, 4, 2), d = digitsAt(date, 6, 2);
    if (y >= 0 && mo >= 0 && d >= 0) {
      tm.tm_year = y - 1900;
      tm.tm_mon = mo - 1;
      tm.tm_mday = d;
    }
    int h = digitsAt(time, 0, 2), mi = digitsAt(time, 2, 2), s = digitsAt(time, 4, 2);
    if (h >= 0 && mi >= 0 && s >= 0) {
      tm.tm_hour = h;
      tm.tm_min = mi;
      tm.tm_sec = s;
    }
  } else {
    if (date.size() >= 10) {  // YYYY-MM-DD
      int y = digitsAt(date, 0, 4), mo = digitsAt(date, 5, 2), d = digitsAt(date, 8, 2);
      if (y >= 0 && mo >= 0 && d >= 0) {
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
      }
    }
    if (time.size() >= 8) {  // HH.MM.SS
      int h = digitsAt(time, 0, 2), mi = digitsAt(time, 3, 2), s = digitsAt(time, 6, 2);
      if (h >= 0 && mi >= 0 && s >= 0) {
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = s;
      }
    }
  }
  r.setInt(static_cast<int64_t>(std::mktime(&tm)));
  return true;
}

constexpr OperatorDef kRows[] = {
    functionRow("DATE", -1, dateFn),
    functionRow("MQTIME", 2, mqtimeFn),
};

}  // namespace

std::span<const OperatorDef> dateFunctionRows() { return kRows; }

}  // namespace kvarn::script
