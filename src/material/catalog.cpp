#include "material/catalog.hpp"

#include <string_view>
#include <vector>

namespace catalog {

std::string wrap(std::string_view text, int first, int rest, int width) {
    std::string out(static_cast<std::size_t>(first), ' ');
    int col = first;
    bool empty = true;
    while (!text.empty()) {
        const std::size_t blank = text.find(' ');
        const std::string_view w = text.substr(0, blank);
        text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
        if (w.empty()) continue;
        const int len = static_cast<int>(w.size());
        if (!empty && col + 1 + len > width) {
            out += '\n';
            out.append(static_cast<std::size_t>(rest), ' ');
            col = rest;
            empty = true;
        }
        if (!empty) {
            out += ' ';
            ++col;
        }
        out += w;
        col += len;
        empty = false;
    }
    return out + '\n';
}

bool jcth_cross(const material& r) { return r.tmelt > r.troom && r.cpjc > 0.0 && r.ratejc > 0.0; }

std::string wordlist(const char* last) {
    std::string s;
    for (int k = 0; k < nmodels; ++k) {
        if (k > 0) s += k == nmodels - 1 ? last : ", ";
        s += models[k].word;
    }
    return s;
}

std::string constantlines(int indent, int width) {
    std::string s;
    for (const model& m : models) {
        std::string line = m.word;
        for (const constant& c : m.constants) line += std::string(" ") + c.name;
        s += wrap(line, indent, indent + 5, width);
        s += wrap(std::string("(") + m.help + ")", indent + 2, indent + 2, width);
    }
    return s;
}

std::string rateshelp() {
    // The words of one reference strain rate together, in the order of the
    // first of them.
    std::vector<int> done(static_cast<std::size_t>(nmodels), 0);
    std::string text = "Reference strain rates of the material words:";
    bool firstgroup = true;
    for (int k = 0; k < nmodels; ++k) {
        if (done[static_cast<std::size_t>(k)]) continue;
        const std::string_view rate = models[k].rate;
        text += firstgroup ? " " : "; ";
        firstgroup = false;
        bool firstword = true;
        for (int j = k; j < nmodels; ++j) {
            if (std::string_view(models[j].rate) != rate) continue;
            done[static_cast<std::size_t>(j)] = 1;
            text += firstword ? "" : ", ";
            text += models[j].word;
            firstword = false;
        }
        text += ' ';
        text += rate;
    }
    std::string out(1, '\n');
    out += wrap(text + ".", 0, 0, 79);
    return out;
}

}  // namespace catalog
