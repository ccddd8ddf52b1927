// Reading of large text files line by line, and of the fixed-width fields
// of the solver's result records.
//
// The records are fixed-width: a field may touch its neighbour, a number too
// wide for an integer field shows as asterisks, and an exponent of three
// digits drops its letter ("1.0000+100", "0.100000-100").
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "formats/error.hpp"

namespace formats {

namespace fs = std::filesystem;

// Sequential line reader over a large file: reads in big chunks, hands out
// views into its buffer (valid until the next call), strips a trailing
// carriage return.
class LineReader {
  public:
    LineReader() = default;
    explicit LineReader(const fs::path& file);
    // Reads `text` as if it were the content of a file called `name`: the
    // readers built on this one can be driven from memory (tests, fuzzing).
    static LineReader from_text(std::string_view text, std::string name);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    LineReader(LineReader&& other) noexcept;
    LineReader& operator=(LineReader&& other) noexcept;

    // Next line into `line`; false at the end of the file.
    bool next(std::string_view& line);
    // 1-based number of the line last returned.
    long long line_number() const { return line_no_; }
    const std::string& name() const { return name_; }
    // "file:line: " prefix for messages about the line last returned.
    std::string where() const;
    // Size of the file in bytes when it was opened, and the bytes not yet
    // handed out: a count read from the file is checked against these
    // before anything is allocated for it.
    long long size() const { return size_; }
    long long remaining() const { return size_ - consumed_ - static_cast<long long>(pos_); }
    // True when the line last returned ended the file without a line end
    // (a file cut while it was written).
    bool last_unterminated() const { return unterminated_; }

  private:
    bool fill();

    std::FILE* file_ = nullptr;
    std::string name_;
    std::vector<char> buf_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool unterminated_ = false;
    long long line_no_ = 0;
    long long size_ = 0;
    long long consumed_ = 0;  // bytes dropped from the front of buf_
};

// Fortran-style real field ("  1.5000E-03", "   0.150000D+09", "1.0000+100",
// "NaN", "-Infinity"); surrounding blanks are ignored. False when the text
// is not a number (asterisks, empty, garbage).
bool real_field(std::string_view field, double& value);
// Integer field; false when empty, asterisks or not an integer.
bool int_field(std::string_view field, long long& value);
// True when the field consists of asterisks only (a value too wide for it).
bool is_overflow(std::string_view field);

// Without leading and trailing blanks and tabs; rtrim only the trailing ones.
std::string_view trim(std::string_view s);
std::string_view rtrim(std::string_view s);

// The text in double quotes, for messages.
std::string in_quotes(std::string_view s);

}  // namespace formats
