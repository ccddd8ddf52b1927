// Small strict XML reader for the tests of the VTK export: parses a whole
// document into a tree and throws on anything that is not well-formed
// (unbalanced or mismatched tags, bad attributes, stray '<' or '&', content
// after the root element).
#pragma once

#include <cctype>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace xmlcheck {

struct Node {
    std::string name;
    std::map<std::string, std::string> attrs;
    std::vector<Node> children;
    std::string text;  // character data directly inside the element, entities resolved

    const Node* child(const std::string& n) const {
        for (const Node& c : children)
            if (c.name == n) return &c;
        return nullptr;
    }
    std::vector<const Node*> all(const std::string& n) const {
        std::vector<const Node*> r;
        for (const Node& c : children)
            if (c.name == n) r.push_back(&c);
        return r;
    }
    std::string attr(const std::string& a) const {
        auto it = attrs.find(a);
        return it == attrs.end() ? std::string() : it->second;
    }
};

class Parser {
  public:
    explicit Parser(const std::string& s) : s_(s) {}

    Node document() {
        skip_ws();
        if (starts("<?xml")) {
            const size_t e = s_.find("?>", i_);
            if (e == std::string::npos) fail("unterminated XML declaration");
            i_ = e + 2;
        }
        skip_misc();
        if (i_ >= s_.size() || s_[i_] != '<') fail("no root element");
        Node root = element();
        skip_misc();
        if (i_ != s_.size()) fail("content after the root element");
        return root;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        size_t line = 1;
        for (size_t k = 0; k < i_ && k < s_.size(); ++k) line += s_[k] == '\n';
        throw std::runtime_error("XML line " + std::to_string(line) + ": " + what);
    }
    bool starts(const char* p) const {
        return s_.compare(i_, std::char_traits<char>::length(p), p) == 0;
    }
    void skip_ws() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    void skip_misc() {
        for (;;) {
            skip_ws();
            if (starts("<!--")) {
                const size_t e = s_.find("-->", i_);
                if (e == std::string::npos) fail("unterminated comment");
                i_ = e + 3;
            } else {
                return;
            }
        }
    }
    static bool name_char(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' ||
               c == ':';
    }
    std::string name() {
        const size_t b = i_;
        if (i_ >= s_.size() || !(std::isalpha(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_'))
            fail("bad name");
        while (i_ < s_.size() && name_char(s_[i_])) ++i_;
        return s_.substr(b, i_ - b);
    }
    std::string chars(size_t b, size_t e) {
        std::string r;
        for (size_t k = b; k < e; ++k) {
            if (s_[k] == '<') fail("'<' in character data");
            if (s_[k] == '&') {
                const size_t semi = s_.find(';', k);
                if (semi == std::string::npos || semi > e) fail("unterminated entity");
                const std::string ent = s_.substr(k + 1, semi - k - 1);
                if (ent == "amp")
                    r += '&';
                else if (ent == "lt")
                    r += '<';
                else if (ent == "gt")
                    r += '>';
                else if (ent == "quot")
                    r += '"';
                else if (ent == "apos")
                    r += '\'';
                else
                    fail("unknown entity &" + ent + ";");
                k = semi;
            } else {
                r += s_[k];
            }
        }
        return r;
    }
    Node element() {
        ++i_;  // '<'
        Node n;
        n.name = name();
        for (;;) {
            const size_t before = i_;
            skip_ws();
            if (starts("/>")) {
                i_ += 2;
                return n;
            }
            if (starts(">")) {
                ++i_;
                break;
            }
            if (i_ == before) fail("attributes must be separated by blanks");
            const std::string a = name();
            skip_ws();
            if (i_ >= s_.size() || s_[i_] != '=') fail("attribute " + a + " without '='");
            ++i_;
            skip_ws();
            if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\''))
                fail("unquoted attribute " + a);
            const char q = s_[i_++];
            const size_t e = s_.find(q, i_);
            if (e == std::string::npos) fail("unterminated attribute " + a);
            if (n.attrs.count(a)) fail("repeated attribute " + a);
            n.attrs[a] = chars(i_, e);
            i_ = e + 1;
        }
        for (;;) {
            const size_t lt = s_.find('<', i_);
            if (lt == std::string::npos) fail("element " + n.name + " is not closed");
            n.text += chars(i_, lt);
            i_ = lt;
            if (starts("</")) {
                i_ += 2;
                const std::string end = name();
                if (end != n.name) fail("end tag </" + end + "> closes <" + n.name + ">");
                skip_ws();
                if (i_ >= s_.size() || s_[i_] != '>') fail("malformed end tag");
                ++i_;
                return n;
            }
            if (starts("<!--")) {
                skip_misc();
                continue;
            }
            n.children.push_back(element());
        }
    }

    const std::string& s_;
    size_t i_ = 0;
};

inline Node parse(const std::string& doc) { return Parser(doc).document(); }

// Numbers of a DataArray (or any element's text).
inline std::vector<double> numbers(const Node& n) {
    std::vector<double> v;
    size_t i = 0;
    const std::string& t = n.text;
    while (i < t.size()) {
        while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
        if (i >= t.size()) break;
        size_t used = 0;
        v.push_back(std::stod(t.substr(i), &used));
        i += used;
    }
    return v;
}

}  // namespace xmlcheck
