#include "platform/faults.h"

#include <atomic>
#include <string>

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

Status check(const char* operation) {
    int n = ++g_count;
    int at = g_failAt.load();
    int from = g_failFrom.load();
    if ((at != 0 && n == at) || (from != 0 && n >= from))
        return Error(g_code.load(), std::string("injected failure at ") + operation);
    return {};
}

}  // namespace qv::platform::faults
