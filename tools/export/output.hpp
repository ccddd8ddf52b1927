// Text output of the export: a buffered file that reports every failed
// write, and the number formats of the VTK and CSV files.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace exporting {

namespace fs = std::filesystem;

// Shortest text that reads back as the same double ("nan" for NaN).
void put_real(std::string& out, double v);
// At most `digits` significant digits, trailing zeros dropped.
void put_real_g(std::string& out, double v, int digits);
std::string real_text(double v);

// Buffered output file that reports every write failure (a full disk must
// not pass for a finished export).
class OutFile {
  public:
    explicit OutFile(const fs::path& file);
    ~OutFile() {
        if (f_) std::fclose(f_);
    }
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    std::string& buf() { return buf_; }
    // Writes `s` after what is buffered, without copying it into the buffer.
    void write(const std::string& s);
    void maybe_flush() {
        if (buf_.size() >= kFlush) flush();
    }
    // Writes what is left and closes the file; throws formats::Error when
    // any write failed.
    void close();

  private:
    static constexpr size_t kFlush = size_t{1} << 20;
    void flush();
    std::string name_;
    std::FILE* f_ = nullptr;
    std::string buf_;
};

// Renames `from` to `to`, replacing it; throws formats::Error on failure.
void rename_over(const fs::path& from, const fs::path& to);

// Writes FILE.tmp through `write(OutFile&)` and renames it to `file` once
// complete, so that a failed export leaves no half-written file; the
// temporary file is removed on failure.
template <class Write>
void write_replacing(const fs::path& file, Write&& write) {
    const fs::path tmp = file.string() + ".tmp";
    try {
        OutFile out(tmp);
        write(out);
        out.close();
    } catch (...) {
        std::error_code ec;
        fs::remove(tmp, ec);
        throw;
    }
    rename_over(tmp, file);
}

}  // namespace exporting
