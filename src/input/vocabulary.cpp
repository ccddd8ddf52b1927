#include "input/vocabulary.hpp"

#include <cstddef>

namespace vocabulary {

std::string_view word(const char* table, int n, int k) {
    if (k < 1 || k > n) return {};
    std::string_view w(table + 4 * static_cast<std::ptrdiff_t>(k - 1), 4);
    while (!w.empty() && w.back() == ' ') w.remove_suffix(1);
    return w;
}

}  // namespace vocabulary
