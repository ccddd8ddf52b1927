#include "parallel/deckname.hpp"

namespace commnodes {

std::string deckname(int id) {
    std::string name;
    long long n = static_cast<long long>(id) + 1;
    while (n > 0) {
        const long long r = (n - 1) % 26;
        name.insert(name.begin(), static_cast<char>('a' + r));
        n = (n - 1) / 26;
    }
    return name;
}

}  // namespace commnodes
