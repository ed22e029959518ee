#pragma once
// Detects a chain of file offsets that comes back to an offset it has passed, without
// remembering every offset: the chain is compared with a mark that moves to the current
// offset after 1, 2, 4, 8 ... steps, so a loop is found within twice its length plus the
// length of the way into it.
#include <cstdint>

namespace brindle {

class TChainGuard {
public:
    explicit TChainGuard(uint32_t first) : mark_(first) {}

    // Called with every next offset; false when the chain has come back to the mark.
    bool Advance(uint32_t next) {
        if (next == mark_) return false;
        if (++steps_ == stride_) {
            mark_ = next;
            stride_ *= 2;
            steps_ = 0;
        }
        return true;
    }

private:
    uint32_t mark_;
    uint64_t stride_ = 1;
    uint64_t steps_ = 0;
};

}  // namespace brindle
