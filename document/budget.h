// The memory budget for kept decoded bytes is the process's, shared by every
// archive open in it: an open takes what is left of it, and gives back what
// its entries do not keep once it is done, and the rest at the close.
#pragma once

#include <cstdint>

// A share of the process's budget, given back when it is destroyed.
class BudgetShare {
public:
    BudgetShare() = default;
    ~BudgetShare() { GiveBack(bytes_); }
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;

    // Takes what is left of a process budget of `budget` bytes.
    void TakeWhatIsLeft(uint64_t budget);
    // Gives back all but `kept` bytes of the share.
    void KeepOnly(uint64_t kept);
    uint64_t Bytes() const { return bytes_; }

private:
    void GiveBack(uint64_t bytes);

    uint64_t bytes_ = 0;  // bytes of the process's budget this share holds
};
