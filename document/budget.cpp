#include "document/budget.h"

#include <atomic>

namespace {

// Bytes of the budget that archives of this process hold.
std::atomic<uint64_t> bytesHeld{0};

}  // namespace

void BudgetShare::TakeWhatIsLeft(uint64_t budget) {
    uint64_t held = bytesHeld.load();
    uint64_t taken = 0;
    do {
        taken = budget > held ? budget - held : 0;
    } while (!bytesHeld.compare_exchange_weak(held, held + taken));
    GiveBack(bytes_);
    bytes_ = taken;
}

void BudgetShare::KeepOnly(uint64_t kept) {
    if (kept >= bytes_) return;
    GiveBack(bytes_ - kept);
    bytes_ = kept;
}

void BudgetShare::GiveBack(uint64_t bytes) {
    if (bytes != 0) bytesHeld.fetch_sub(bytes);
}
