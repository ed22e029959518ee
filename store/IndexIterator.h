#pragma once
// A forward iterator over a list that hands its elements out as values by position (packed
// lists that keep no element objects to point at).
#include <cstddef>
#include <iterator>

namespace brindle {

template <typename List, typename Value>
class TIndexIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Value;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Value;

    TIndexIterator() = default;
    TIndexIterator(const List* list, size_t at) : list_(list), at_(at) {}
    Value operator*() const { return (*list_)[at_]; }
    TIndexIterator& operator++() {
        ++at_;
        return *this;
    }
    TIndexIterator operator++(int) {
        TIndexIterator before = *this;
        ++at_;
        return before;
    }
    bool operator==(const TIndexIterator& other) const { return at_ == other.at_; }

private:
    const List* list_ = nullptr;
    size_t at_ = 0;
};

}  // namespace brindle
