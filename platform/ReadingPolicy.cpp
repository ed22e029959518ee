#include "platform/ReadingPolicy.h"

#include <atomic>

namespace brindle {
namespace {

const TReadingPolicy kDefaultPolicy;
std::atomic<const TReadingPolicy*> gPolicy{&kDefaultPolicy};

}  // namespace

const TReadingPolicy& ReadingPolicy() { return *gPolicy.load(std::memory_order_acquire); }

TScopedReadingPolicy::TScopedReadingPolicy(const TReadingPolicy& policy)
    : policy_(policy), previous_(gPolicy.exchange(&policy_)) {}

TScopedReadingPolicy::~TScopedReadingPolicy() { gPolicy.store(previous_); }

}  // namespace brindle
