#pragma once
// Makes the HTML of a message safe to hand to the HTML control. The control's parser and
// layout need time that grows with the square of the element nesting, of the items of one
// list and of the images of one paragraph, with the product of list items and nesting, and that doubles with every
// level of nested tables; a hostile message could stop the program for hours.
//
// The HTML is written anew in a plain form that the control reads exactly as this scanner
// does: every tag with double-quoted attributes, every other "<" escaped (also inside
// attribute values), comments, declarations and scripts left out, end tags that close
// nothing dropped. Start tags beyond the limits are left out (their text stays); a list
// that reaches its item limit is closed and opened again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

struct THtmlLimits {
    // Open elements at most; a table cell, row or header counts three, as the control may
    // add a table and a row around one that stands alone.
    size_t maxNesting = 128;
    // Open table, row and cell elements together at most: three for each table level.
    size_t maxTableElements = 24;
    // Items of one list before it is closed and opened again.
    size_t maxListItems = 256;
    // List items of the whole document; further item tags are left out.
    size_t maxAllListItems = 10000;
    // Images of the whole document.
    size_t maxImages = 1000;
};

struct TGuardedHtml {
    std::string html;
    // An estimate of the control's layout work: every character and tag weighted by two to
    // the power of its table nesting.
    uint64_t layoutCost = 0;
};

TGuardedHtml GuardHtml(std::string_view html, const THtmlLimits& limits);

// The HTML under the default limits, with fewer table levels allowed as long as the layout
// estimate is above budget (the tables of a large text nested deep are taken apart first).
std::string GuardHtml(std::string_view html);

constexpr uint64_t kHtmlLayoutBudget = uint64_t{1} << 22;

}  // namespace brindle
