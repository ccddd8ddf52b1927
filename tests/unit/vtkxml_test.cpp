// Compressed appended arrays: the header layout VTK's readers expect, the
// blocks back through zlib, and the same bytes whatever the thread count.
#include "output/vtkxml.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::uint64_t u64(const std::string& s, std::size_t at) {
    std::uint64_t v = 0;
    std::memcpy(&v, s.data() + at, 8);  // little-endian machine, as the files say
    return v;
}

// Doubles whose low bits differ, 3.5 blocks long.
std::vector<double> values(std::size_t n) {
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = 1.0 / (1.0 + static_cast<double>(i % 1013)) + static_cast<double>(i);
    return v;
}

TEST(VtkXml, AppendedBlocksHaveVtkHeaderAndReadBackWithAnyThreadCount) {
    const std::vector<double> v = values(7 * vtkxml::blocksize / 16);  // 3.5 blocks of bytes
    const std::size_t n = v.size() * sizeof(double);
    std::string one = "prefix";
    vtkxml::appendblocks(one, v.data(), n, 1, 1);
    EXPECT_EQ(u64(one, 6), 4u);                      // blocks
    EXPECT_EQ(u64(one, 14), vtkxml::blocksize);      // size of a full block
    EXPECT_EQ(u64(one, 22), vtkxml::blocksize / 2);  // the shorter last block
    // Each block is zlib's stream of its bytes at that level.
    std::size_t at = 6 + 8 * 7;
    for (std::size_t b = 0; b < 4; ++b) {
        const std::size_t len = b < 3 ? vtkxml::blocksize : vtkxml::blocksize / 2;
        std::vector<unsigned char> ref(compressBound(static_cast<uLong>(len)));
        uLongf size = static_cast<uLongf>(ref.size());
        ASSERT_EQ(compress2(ref.data(), &size,
                            reinterpret_cast<const Bytef*>(v.data()) + b * vtkxml::blocksize,
                            static_cast<uLong>(len), 1),
                  Z_OK);
        ASSERT_EQ(u64(one, 6 + 8 * (3 + b)), size) << b;
        EXPECT_EQ(std::memcmp(one.data() + at, ref.data(), size), 0) << b;
        at += size;
    }
    EXPECT_EQ(at, one.size());
    const std::vector<unsigned char> back = vtkxml::readblocks(one, 6);
    ASSERT_EQ(back.size(), n);
    EXPECT_EQ(std::memcmp(back.data(), v.data(), n), 0);
    for (int threads : {2, 3, 8}) {
        std::string t = "prefix";
        vtkxml::appendblocks(t, v.data(), n, 1, threads);
        EXPECT_EQ(t, one) << threads << " threads";
    }
    // A stream reused at another level gives that level's bytes.
    std::string l6 = "prefix", l6again = "prefix";
    vtkxml::appendblocks(l6, v.data(), n, 6, 1);
    vtkxml::appendblocks(one, v.data(), n, 1, 1);
    vtkxml::appendblocks(l6again, v.data(), n, 6, 2);
    EXPECT_EQ(l6, l6again);
}

TEST(VtkXml, WholeBlocksAndEmptyArrays) {
    const std::vector<double> v = values(vtkxml::blocksize / 4);  // exactly 2 blocks
    std::string s;
    vtkxml::appendblocks(s, v.data(), v.size() * sizeof(double), 1, 2);
    EXPECT_EQ(u64(s, 0), 2u);
    EXPECT_EQ(u64(s, 16), 0u);  // no shorter last block
    EXPECT_EQ(vtkxml::readblocks(s, 0).size(), v.size() * sizeof(double));
    std::string e;
    vtkxml::appendblocks(e, nullptr, 0, 1, 4);
    ASSERT_EQ(e.size(), 24u);  // the header alone: no blocks
    EXPECT_EQ(u64(e, 0), 0u);
    EXPECT_TRUE(vtkxml::readblocks(e, 0).empty());
    // A cut block reads as nothing.
    EXPECT_TRUE(vtkxml::readblocks(s.substr(0, s.size() - 1), 0).empty());
}

// Several arrays compressed together: each is exactly what appendblocks
// gives for it alone (header, blocks of the given size, short last block,
// empty array), whatever the thread count. libdeflate's streams read back
// the same bytes and are never much larger than zlib's: on values that
// repeat a record apart, on runs of zeros and on values whose low bits all
// differ.
TEST(VtkXml, ArraysCompressedTogetherWithEitherEngineReadBack) {
    constexpr std::size_t block = 1 << 18;
    std::vector<float> mixed(3 * block / 4);  // 3 blocks: repeated, zeros, rough
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < mixed.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        const float rough = 1.0e8f * (1.0f + static_cast<float>(x >> 8) * 0x1p-24f);
        mixed[i] = i < block / 4 ? (i % 3 == 2 ? -200.0f : 1.5f) : i < block / 2 ? 0.0f : rough;
    }
    const std::vector<double> v = values(block / 8 + 5);  // a block and 40 bytes
    const std::vector<vtkxml::span> arrays = {
        {mixed.data(), 4 * mixed.size()}, {v.data(), 8 * v.size()}, {nullptr, 0}, {v.data(), 3}};
    const std::vector<std::string> one = vtkxml::compressarrays(arrays, 1, 1, block);
    ASSERT_EQ(one.size(), arrays.size());
    for (std::size_t a = 0; a < arrays.size(); ++a) {
        std::string alone;
        vtkxml::appendblocks(alone, arrays[a].data, arrays[a].n, 1, 1, block);
        EXPECT_EQ(one[a], alone) << a;
    }
    EXPECT_EQ(u64(one[1], 8), block);
    EXPECT_EQ(u64(one[1], 16), 40u);
    using vtkxml::engine;
    for (engine e : {engine::zlib, engine::libdeflate}) {
        for (int threads : {2, 5}) {
            EXPECT_EQ(vtkxml::compressarrays(arrays, 1, threads, block, e),
                      vtkxml::compressarrays(arrays, 1, 1, block, e))
                << threads << " threads";
        }
    }
    const std::vector<std::string> fit =
        vtkxml::compressarrays(arrays, 1, 2, block, engine::libdeflate);
    for (std::size_t a = 0; a < arrays.size(); ++a) {
        const std::vector<unsigned char> back = vtkxml::readblocks(fit[a], 0);
        ASSERT_EQ(back.size(), arrays[a].n) << a;
        if (arrays[a].n > 0) {
            EXPECT_EQ(std::memcmp(back.data(), arrays[a].data, arrays[a].n), 0);
        }
    }
    for (std::size_t b = 0; b < 3; ++b) {
        const std::string search =
            vtkxml::compressarrays({{&mixed[b * block / 4], block}}, 1, 1, block)[0];
        const std::string chosen = vtkxml::compressarrays({{&mixed[b * block / 4], block}}, 1, 1,
                                                          block, engine::libdeflate)[0];
        EXPECT_LE(chosen.size(), search.size() * 105 / 100 + 64) << "block " << b;
    }
}

// One block at a time (the field output's way) gives the bytes of
// compressarrays: the blocks, the header with their sizes, the short last
// block; and each block inflates back alone.
TEST(VtkXml, BlockByBlockMatchesArraysCompressedTogether) {
    using vtkxml::engine;
    const std::size_t block = 4096;
    const std::vector<double> v = values(5 * block / 16);  // 2.5 blocks of bytes
    for (const engine e : {engine::zlib, engine::libdeflate})
        for (const std::size_t n : {std::size_t{0}, std::size_t{1000}, 2 * block, 5 * block / 2}) {
            std::vector<unsigned char> room(vtkxml::compressbound(block));
            std::vector<std::size_t> sizes;
            std::string blocks;
            for (std::size_t at = 0; at < n; at += block) {
                const std::size_t len = std::min(block, n - at);
                const auto* in = reinterpret_cast<const unsigned char*>(v.data()) + at;
                sizes.push_back(vtkxml::compressblock(in, len, 6, e, room.data()));
                std::vector<unsigned char> back(len);
                EXPECT_TRUE(vtkxml::inflateblock(room.data(), sizes.back(), back.data(), len));
                EXPECT_EQ(0, std::memcmp(back.data(), in, len));
                EXPECT_FALSE(vtkxml::inflateblock(room.data(), sizes.back() - 1, back.data(), len));
                blocks.append(reinterpret_cast<const char*>(room.data()), sizes.back());
            }
            EXPECT_EQ(vtkxml::blockheader(n, block, sizes) + blocks,
                      vtkxml::compressarrays({{v.data(), n, 6}}, 1, 1, block, e)[0])
                << "bytes " << n;
        }
}

// Every job runs once whatever the thread count, and a job's exception
// reaches the caller after the other threads are done.
TEST(VtkXml, JobsRunOnceAndTheirFailureIsRaised) {
    for (const int threads : {1, 2, 4}) {
        std::vector<int> runs(37, 0);
        vtkxml::runjobs(runs.size(), threads, [&](std::size_t j, int worker) {
            EXPECT_LT(worker, threads);
            ++runs[j];
        });
        EXPECT_EQ(std::vector<int>(37, 1), runs) << threads << " threads";
        EXPECT_THROW(vtkxml::runjobs(9, threads,
                                     [](std::size_t j, int) {
                                         if (j == 5) throw std::runtime_error("block 5");
                                     }),
                     std::runtime_error);
    }
}

}  // namespace
