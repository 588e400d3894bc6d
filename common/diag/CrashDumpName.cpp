#include "diag/CrashDumpName.h"


#include <cstring>

#include <unistd.h>

std::string g_strDumpPrefix;

namespace {

constexpr size_t kExePathMax = 1024;

// Appends the decimal value; returns the new end, or nullptr when it does not fit.
char* AppendNumber(char* out, char* end, long long value, int minDigits)
{
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    unsigned long long u = negative ? 0ULL - static_cast<unsigned long long>(value)
                                    : static_cast<unsigned long long>(value);
    do {
        digits[count++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0 || count < minDigits);
    if (end - out < count + (negative ? 1 : 0)) {
        return nullptr;
    }
    if (negative) {
        *out++ = '-';
    }
    while (count > 0) {
        *out++ = digits[--count];
    }
    return out;
}

} // namespace

std::string CrashDumpFront()
{
    if (!g_strDumpPrefix.empty()) {
        return g_strDumpPrefix;
    }
    char path[kExePathMax];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path));
    if (n <= 0 || static_cast<size_t>(n) >= sizeof(path)) {
        return {};
    }
    const std::string full(path, static_cast<size_t>(n));
    return full.substr(full.rfind('/') + 1);
}

bool ComposeCrashDumpName(char* buf, size_t size, const char* front, int year, int month, int day)
{
    char* out = buf;
    char* const end = buf + size - 1;
    for (const char* s = front; *s != '\0'; ++s) {
        if (out == end) {
            return false;
        }
        *out++ = *s;
    }
    const char* const tail = ".dmp";
    out = AppendNumber(out, end, year, 1);
    if (out == nullptr || out == end) {
        return false;
    }
    *out++ = '.';
    out = AppendNumber(out, end, month, 2);
    if (out == nullptr || out == end) {
        return false;
    }
    *out++ = '.';
    out = AppendNumber(out, end, day, 2);
    if (out == nullptr || end - out < 4) {
        return false;
    }
    std::memcpy(out, tail, 4);
    out[4] = '\0';
    return true;
}

std::string CrashDumpFileName(const std::tm& localDate)
{
    const std::string front = CrashDumpFront();
    if (front.empty()) {
        return {};
    }
    std::string name(front.size() + 32, '\0');
    if (!ComposeCrashDumpName(name.data(), name.size(), front.c_str(), localDate.tm_year + 1900,
                              localDate.tm_mon + 1, localDate.tm_mday)) {
        return {};
    }
    name.resize(std::strlen(name.c_str()));
    return name;
}

std::tm CrashDumpLocalDate(std::time_t now, long utcOffsetSeconds)
{
    const long long local = static_cast<long long>(now) + utcOffsetSeconds;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    std::tm date{};
    date.tm_hour = static_cast<int>(secs / 3600);
    date.tm_min = static_cast<int>(secs / 60 % 60);
    date.tm_sec = static_cast<int>(secs % 60);
    // Days since 1970-01-01 to a proleptic Gregorian date, by 400-year eras from 0000-03-01.
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = static_cast<long long>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
    date.tm_year = static_cast<int>(year - 1900);
    date.tm_mon = static_cast<int>(month) - 1;
    date.tm_mday = static_cast<int>(day);
    return date;
}
