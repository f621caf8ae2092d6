#include "platform/faults.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace qv::platform::faults {

namespace {
std::atomic<int> g_count{0};
std::atomic<int> g_failAt{0};    // 0: no single failure planned
std::atomic<int> g_failFrom{0};  // 0: no lasting failure planned
std::atomic<ErrorCode> g_code{ErrorCode::IoError};
}  // namespace

void failAt(int n, ErrorCode code) {
    g_count = 0;
    g_failFrom = 0;
    g_code = code;
    g_failAt = n;
}

void failFrom(int n, ErrorCode code) {
    g_count = 0;
    g_failAt = 0;
    g_code = code;
    g_failFrom = n;
}

void reset() {
    g_failAt = 0;
    g_failFrom = 0;
    g_count = 0;
}

int count() { return g_count; }

void pausePoint(const char* operation) {
    static const std::string setting = [] {
        const char* v = std::getenv("QV_TEST_PAUSE");
        return std::string(v ? v : "");
    }();
    static std::atomic<bool> used{false};
    if (setting.empty() || used)
        return;
    std::size_t colon = setting.find(':');
    if (colon == std::string::npos || setting.compare(0, colon, operation) != 0 || used.exchange(true))
        return;
    std::filesystem::path folder = setting.substr(colon + 1);
    std::ofstream(folder / "paused").put('\n');
    for (int i = 0; i < 6000 && !std::filesystem::exists(folder / "resume"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

Status check(const char* operation) {
    pausePoint(operation);
    int n = ++g_count;
    int at = g_failAt.load();
    int from = g_failFrom.load();
    if ((at != 0 && n == at) || (from != 0 && n >= from))
        return Error(g_code.load(), std::string("injected failure at ") + operation);
    return {};
}

}  // namespace qv::platform::faults
