// Binary VTK XML pieces: data arrays compressed with zlib and appended after
// the XML part of the file, in the layout VTK's readers expect. Free of MPI
// and of the model data, shared by the solver's field output and the export
// tool.
//
// An appended array is a header of 64-bit unsigned integers followed by the
// compressed blocks: the number of blocks, the uncompressed size of a block,
// the uncompressed size of the last block when it is shorter (0 when every
// block is full), then the compressed size of each block. Each block is the
// zlib stream of at most `blocksize` bytes of the array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vtkxml {

inline constexpr std::size_t blocksize = 1 << 16;

// Appends the header and compressed blocks of `n` bytes at `data` to `out`.
// The blocks are compressed by `threads` threads (the same bytes for any
// number: each block is its own zlib stream).
void appendblocks(std::string& out, const void* data, std::size_t n, int level, int threads = 1,
                  std::size_t block = blocksize);

// The bytes of one array to compress, and its own deflate level (-1: the
// level of the call).
struct span {
    const void* data;
    std::size_t n;
    int level = -1;
};

// The deflate implementation that compresses the blocks: zlib's (the
// export's files), or libdeflate's, about twice as fast at the same size (the
// solver's field frames, written while the run goes on). Both make standard
// zlib streams, which every VTK reader inflates.
enum class engine { zlib, libdeflate };

// The header and compressed blocks of each array, as appendblocks writes
// them, with the blocks of all the arrays shared among `threads` threads:
// arrays too short to be split keep the threads busy together, and the
// bytes are the same for any number of threads. Each array at its own level,
// or at `level`.
std::vector<std::string> compressarrays(const std::vector<span>& arrays, int level, int threads,
                                        std::size_t block = blocksize, engine e = engine::zlib);

// The most bytes compressblock makes of a block of `n` bytes.
std::size_t compressbound(std::size_t n);

// Compresses one block of `n` bytes as compressarrays compresses each block,
// into `out` (room for compressbound(n) bytes); returns the stream's size.
std::size_t compressblock(const void* data, std::size_t n, int level, engine e, void* out);

// The header compressarrays puts before the blocks of an array of `n` bytes
// cut into blocks of `block` bytes, the blocks' streams of sizes `sizes`.
std::string blockheader(std::size_t n, std::size_t block, const std::vector<std::size_t>& sizes);

// Inflates the zlib stream of `size` bytes at `z`, of exactly `n` bytes,
// into `out`; false when it is not one.
bool inflateblock(const void* z, std::size_t size, void* out, std::size_t n);

// Runs job(j, worker) for j = 0 .. n-1 on `threads` threads, the calling
// thread among them (worker 0 .. threads-1); the jobs start in increasing
// order. An exception of a job is raised again once every thread is done.
void runjobs(std::size_t n, int threads, const std::function<void(std::size_t, int)>& job);

// The DataArray tag of an appended array at `offset` of the appended data
// (self-closing, format="appended"; `extra` further attributes).
std::string arraytag(const char* type, const std::string& name, int ncomp, std::size_t offset,
                     const std::string& extra = "");

// The arrays of one piece: their XML tags, in the order they are added, and
// the appended bytes they point into.
class appended {
  public:
    explicit appended(int level = 6, int threads = 1) : level_(level), threads_(threads) {}
    // Adds one array and returns its DataArray tag (self-closing, with
    // format="appended" and its offset). `type` is a VTK type name (Float32,
    // Float64, Int32, UInt8), `extra` further attributes.
    std::string add(const char* type, const std::string& name, int ncomp, const void* data,
                    std::size_t nbytes, const std::string& extra = "");
    // The same for an array compressed already (`blocks` as compressarrays
    // gives them).
    std::string addblocks(const char* type, const std::string& name, int ncomp,
                          const std::string& blocks, const std::string& extra = "");
    const std::string& data() const { return data_; }

  private:
    int level_;
    int threads_;
    std::string data_;
};

// XML text of an attribute value.
std::string escape(const std::string& s);

// The start of a piece file up to and including the opening of its piece,
// the tail of the XML part up to the appended data's "_" marker, and the end
// of the file after the data.
std::string vtuhead(double time, long long npoints, long long ncells);
std::string vtutail();
std::string vtuend();

// Reads back the arrays of `text` written by `appendblocks`, starting at
// `offset`: the uncompressed bytes (for tests). Empty on a malformed block.
std::vector<unsigned char> readblocks(const std::string& text, std::size_t offset);

// Conversions to the stored types.
std::vector<float> tofloat(const double* v, std::size_t n);

}  // namespace vtkxml
