#include "ctimer.h"

#include <ctime>

std::string CTimer::GetDate() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[64] = {0};
    if (localtime_r(&now, &local) == nullptr || asctime_r(&local, text) == nullptr) return std::string();
    std::string date(text);
    while (!date.empty() && (date.back() == '\n' || date.back() == '\r')) date.pop_back();
    return date;
}
