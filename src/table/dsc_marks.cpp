#include "table/dsc_marks.h"

#include "table/dsc_pieces.h"

#include <algorithm>
#include <bit>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define DSC_MARKS_X86 1
#endif

namespace dsc_detail {

namespace {

// The bytes of one chunk that the marks are made of, one bit each.
struct chunk_bytes {
    std::uint64_t lf = 0;
    std::uint64_t lone = 0; // a CR that no LF follows within the chunk and the byte after it
    std::uint64_t space = 0;
    std::uint64_t slashes = 0; // a '/' with another after it
    std::uint64_t plain = 0;   // an LF, a CR, or a '/' with another after it
};

// a + b + carry, and the carry out of bit 63, for a carry that cannot meet a bit of a.
[[gnu::always_inline]] inline std::uint64_t add_carry(std::uint64_t a, std::uint64_t b,
                                                      std::uint64_t& carry) {
    std::uint64_t sum = 0;
    carry = std::uint64_t{__builtin_add_overflow(a | carry, b, &sum)};
    return sum;
}

// The marks of one chunk at `chunk` from its bytes, shared by every way of finding them.
//
// Rather than tell each line apart, the chunk is judged as a whole: a byte where a line
// shows it is no quick one (its first byte, or its first after spaces, that starts no
// comment; a lone CR) is a fault of the line it is in, and the chunk's lines are all quick
// when no such byte comes before its last LF, nor in the line that ran on into it. A chunk
// that is not quick goes to out[count++]; a quick one's lines are counted in the carry.
template <bool Quick, bool Lone>
[[gnu::always_inline]] inline void
mark_chunk(const chunk_bytes& found, const char* bytes, std::size_t chunk, std::size_t size,
           mark_carry& carry, chunk_marks* out, std::size_t& count) {
    std::uint64_t lfs = found.lf;
    std::uint64_t lone = Lone ? found.lone : 0;
    if (size - chunk <= CHUNK) {
        // The last chunk: no bits past the text, and a CR at its very end is a lone one,
        // whatever byte follows it in the buffer.
        const std::size_t held_bytes = size - chunk;
        const std::uint64_t held =
            held_bytes == CHUNK ? ~std::uint64_t{0} : (std::uint64_t{1} << held_bytes) - 1;
        lfs &= held;
        if constexpr (Lone) {
            lone =
                (lone & (held >> 1)) | (std::uint64_t{bytes[size - 1] == '\r'} << (held_bytes - 1));
        }
    }
    // The bits up to the last LF: the lines that end here. Without a branch, which would
    // go either way at random: a shift by 64 is none, so the chunk without an LF is masked.
    const std::uint64_t no_lf = std::uint64_t{lfs == 0};
    const std::uint64_t has_lf = no_lf - 1; // all ones, or none
    const int after_last = std::countl_zero(lfs);
    const std::uint64_t ended = (~std::uint64_t{0} >> (after_last & 63)) & has_lf;
    bool quick = false;
    if constexpr (Quick) {
        const std::uint64_t starts = (lfs << 1) | carry.line_starts;
        carry.line_starts = lfs >> (CHUNK - 1);
        const std::uint64_t spaces = found.space;
        const std::uint64_t at_start = starts & ~spaces;
        // A line start in a run of spaces carries up to the run's first other byte. A run
        // that ran on from the chunk before starts no line here, so its carry meets no start.
        const std::uint64_t after_spaces =
            add_carry(starts & spaces, spaces, carry.spaces) & ~spaces;
        const std::uint64_t faults =
            (at_start & ~found.plain) | (after_spaces & ~found.slashes) | lone;
        // A chunk without an LF (bit 0 of ended clear) ends no line, so is quick whatever
        // runs on through it.
        quick = ((carry.not_quick & ended) | (faults & ended)) == 0;
        // A line of more than LINE_PIECE_MAX bytes holds two whole chunks without an LF;
        // cheaper than measuring each line, and only lines of 129 bytes or more are left to
        // the loop.
        carry.not_quick = (carry.not_quick & no_lf) | (no_lf & carry.no_lf) |
                          std::uint64_t{(faults & ~ended) != 0};
        carry.no_lf = no_lf;
    }
    // A branch that goes mostly one way: most chunks of a large file are quick, most of a
    // table of entries are not.
    if (!quick) {
        out[count++] = {.at = chunk,
                        .lfs = lfs,
                        .lone = lone,
                        .quick_lines = carry.quick_lines,
                        .line_start = carry.line_start,
                        .lone_before = carry.lone_before};
        carry.quick_lines = 0;
    } else {
        carry.quick_lines += static_cast<std::uint64_t>(std::popcount(lfs));
    }
    // Without a branch, which the compiler would make of a choice here.
    const auto moved = static_cast<std::size_t>(has_lf); // the line start moves on
    carry.line_start = ((chunk + CHUNK - static_cast<std::size_t>(after_last)) & moved) |
                       (carry.line_start & ~moved);
    if constexpr (Lone) {
        carry.lone_before = (carry.lone_before & (no_lf != 0)) | ((lone & ~ended) != 0);
    }
}

// One byte at a time: for a processor without the vector instructions below.
template <bool Lone, bool Quick> inline chunk_bytes classify_bytes(const char* bytes) {
    chunk_bytes found;
    for (std::size_t i = 0; i < CHUNK; ++i) {
        const char c = bytes[i];
        found.lf |= std::uint64_t{c == '\n'} << i;
        if constexpr (Lone) {
            found.lone |= std::uint64_t{c == '\r' && bytes[i + 1] != '\n'} << i;
        }
        if constexpr (Quick) {
            const bool slashes = c == '/' && bytes[i + 1] == '/';
            found.space |= std::uint64_t{c == ' '} << i;
            found.slashes |= std::uint64_t{slashes} << i;
            found.plain |= std::uint64_t{c == '\n' || c == '\r' || slashes} << i;
        }
    }
    return found;
}

#if defined(DSC_MARKS_X86) && defined(__SSE2__)

// 16 bytes a compare: every x86-64 processor has SSE2.
inline __m128i equal_sse2(__m128i lane, char c) {
    return _mm_cmpeq_epi8(lane, _mm_set1_epi8(c));
}

inline std::uint64_t bits_sse2(__m128i lane) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(lane))};
}

// Each lane is compared with the lane one byte further on for what follows its bytes.
template <bool Lone, bool Quick> inline chunk_bytes classify_sse2(const char* bytes) {
    chunk_bytes found;
    for (std::size_t i = 0; i < CHUNK; i += 16) {
        const __m128i lane = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        const __m128i lf = equal_sse2(lane, '\n');
        found.lf |= bits_sse2(lf) << i;
        if constexpr (Lone || Quick) {
            const __m128i cr = equal_sse2(lane, '\r');
            if constexpr (Lone) {
                found.lone |= bits_sse2(_mm_andnot_si128(equal_sse2(next, '\n'), cr)) << i;
            }
            if constexpr (Quick) {
                const __m128i slashes = _mm_and_si128(equal_sse2(lane, '/'), equal_sse2(next, '/'));
                found.space |= bits_sse2(equal_sse2(lane, ' ')) << i;
                found.slashes |= bits_sse2(slashes) << i;
                found.plain |= bits_sse2(_mm_or_si128(_mm_or_si128(lf, cr), slashes)) << i;
            }
        }
    }
    return found;
}

// 32 bytes a compare, chosen at run time: most processors in use have AVX2. Every function
// that takes or gives a 32-byte lane is compiled for AVX2, as the ABI asks.
#define DSC_MARKS_AVX2 __attribute__((target("avx2,popcnt,bmi,bmi2,lzcnt")))

[[gnu::always_inline]] DSC_MARKS_AVX2 inline __m256i equal_avx2(__m256i lane, char c) {
    return _mm256_cmpeq_epi8(lane, _mm256_set1_epi8(c));
}

[[gnu::always_inline]] DSC_MARKS_AVX2 inline std::uint64_t bits_avx2(__m256i lane) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(lane))};
}

// The steps of classify_sse2, 32 bytes at a time.
template <bool Lone, bool Quick>
[[gnu::always_inline]] DSC_MARKS_AVX2 inline chunk_bytes classify_avx2(const char* bytes) {
    chunk_bytes found;
    for (std::size_t i = 0; i < CHUNK; i += 32) {
        const __m256i lane = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 1));
        const __m256i lf = equal_avx2(lane, '\n');
        found.lf |= bits_avx2(lf) << i;
        if constexpr (Lone || Quick) {
            const __m256i cr = equal_avx2(lane, '\r');
            if constexpr (Lone) {
                found.lone |= bits_avx2(_mm256_andnot_si256(equal_avx2(next, '\n'), cr)) << i;
            }
            if constexpr (Quick) {
                const __m256i slashes =
                    _mm256_and_si256(equal_avx2(lane, '/'), equal_avx2(next, '/'));
                found.space |= bits_avx2(equal_avx2(lane, ' ')) << i;
                found.slashes |= bits_avx2(slashes) << i;
                found.plain |= bits_avx2(_mm256_or_si256(_mm256_or_si256(lf, cr), slashes)) << i;
            }
        }
    }
    return found;
}

template <bool Quick, bool Lone>
DSC_MARKS_AVX2 std::size_t mark_avx2(const char* bytes, std::size_t from, std::size_t size,
                                     mark_carry& carry, chunk_marks* out) {
    std::size_t count = 0;
    mark_carry kept = carry; // in registers through the loop
    const std::size_t end = std::min(size, from + SEGMENT_CHUNKS * CHUNK);
    for (std::size_t chunk = from; chunk < end; chunk += CHUNK) {
        const chunk_bytes found = classify_avx2<Lone, Quick>(bytes + chunk);
        mark_chunk<Quick, Lone>(found, bytes, chunk, size, kept, out, count);
    }
    carry = kept;
    return count;
}

#endif

template <bool Quick, bool Lone, bool Bytes>
std::size_t mark_narrow(const char* bytes, std::size_t from, std::size_t size, mark_carry& carry,
                        chunk_marks* out) {
    std::size_t count = 0;
    mark_carry kept = carry; // in registers through the loop
    const std::size_t end = std::min(size, from + SEGMENT_CHUNKS * CHUNK);
    for (std::size_t chunk = from; chunk < end; chunk += CHUNK) {
#if defined(DSC_MARKS_X86) && defined(__SSE2__)
        const chunk_bytes found = Bytes ? classify_bytes<Lone, Quick>(bytes + chunk)
                                        : classify_sse2<Lone, Quick>(bytes + chunk);
#else
        const chunk_bytes found = classify_bytes<Lone, Quick>(bytes + chunk);
#endif
        mark_chunk<Quick, Lone>(found, bytes, chunk, size, kept, out, count);
    }
    carry = kept;
    return count;
}

using mark_function = std::size_t (*)(const char*, std::size_t, std::size_t, mark_carry&,
                                      chunk_marks*);

// The four kinds of marks, by request: {quick, lone} as a number 0 to 3.
struct mark_functions {
    mark_function by_request[4];
};

template <bool Bytes> constexpr mark_functions narrow_functions() {
    return {{mark_narrow<false, false, Bytes>, mark_narrow<false, true, Bytes>,
             mark_narrow<true, false, Bytes>, mark_narrow<true, true, Bytes>}};
}

#if defined(DSC_MARKS_X86) && defined(__SSE2__)
// LZCNT, which finds the last LF of a chunk in one instruction; Clang's builtin has no
// name for it. A processor without it would read the instruction as another one.
bool has_lzcnt() {
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    return __get_cpuid(0x80000001U, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_LZCNT) != 0;
}
#endif

mark_functions best_functions() {
#if defined(DSC_MARKS_X86) && defined(__SSE2__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
        __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && has_lzcnt()) {
        return {{mark_avx2<false, false>, mark_avx2<false, true>, mark_avx2<true, false>,
                 mark_avx2<true, true>}};
    }
#endif
    return narrow_functions<false>();
}

} // namespace

std::size_t mark_chunks(const char* bytes, std::size_t from, std::size_t size, mark_request asked,
                        mark_carry& carry, chunk_marks* out, mark_width width) {
    static const mark_functions best = best_functions();
    static constexpr mark_functions sse2 = narrow_functions<false>();
    static constexpr mark_functions one_by_one = narrow_functions<true>();
    const mark_functions& functions = width == mark_width::best   ? best
                                      : width == mark_width::sse2 ? sse2
                                                                  : one_by_one;
    const unsigned kind = (asked.quick ? 2U : 0U) | (asked.lone ? 1U : 0U);
    return functions.by_request[kind](bytes, from, size, carry, out);
}

} // namespace dsc_detail
