#include "table/dsc_marks.h"

#include "table/dsc_pieces.h"

#include <bit>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define DSC_MARKS_X86 1
#endif

namespace dsc_detail {

namespace {

// The bytes of one chunk that the marks are made of, one bit each.
struct chunk_bytes {
    std::uint64_t lf = 0;
    std::uint64_t cr = 0;
    std::uint64_t space = 0;
    std::uint64_t slash = 0;
};

// a + b + carry, and the carry out of bit 63.
[[gnu::always_inline]] inline std::uint64_t add_carry(std::uint64_t a, std::uint64_t b,
                                                      std::uint64_t& carry) {
#if defined(__x86_64__)
    unsigned long long sum = 0; // one add-with-carry instruction
    carry = _addcarry_u64(static_cast<unsigned char>(carry), a, b, &sum);
    return sum;
#else
    std::uint64_t sum = 0;
    std::uint64_t with_carry = 0;
    const bool first = __builtin_add_overflow(a, b, &sum);
    const bool second = __builtin_add_overflow(sum, carry, &with_carry);
    carry = static_cast<std::uint64_t>(first | second);
    return with_carry;
#endif
}

// The LFs that end a line holding one of `marks` (the LF itself may be one), a mark's line
// running on to the next chunk through `carry`. Adding the non-LF bits to the marks carries
// each mark up to the next LF.
[[gnu::always_inline]] inline std::uint64_t lines_marked(std::uint64_t marks, std::uint64_t lfs,
                                                         std::uint64_t& carry) {
    const std::uint64_t others = ~lfs;
    return (add_carry(marks & others, others, carry) | marks) & lfs;
}

// The marks of one chunk at `chunk` from its bytes, shared by every way of finding them.
template <bool Quick, bool Lone>
[[gnu::always_inline]] inline void mark_chunk(const chunk_bytes& found, const char* bytes,
                                              std::size_t chunk, std::size_t size,
                                              mark_carry& carry, chunk_marks& out) {
    std::uint64_t lfs = found.lf;
    std::uint64_t lone = 0;
    if constexpr (Lone) {
        // The CR of a CR LF pair is no lone one, also across the chunk's end. The byte
        // after the chunk is looked at only within the text: a full block's last chunk
        // ends the array.
        const bool lf_next = chunk + CHUNK < size && bytes[chunk + CHUNK] == '\n';
        lone = found.cr & ~((lfs >> 1) | (std::uint64_t{lf_next} << (CHUNK - 1)));
    }
    if (size - chunk < CHUNK) {
        const std::uint64_t held = (std::uint64_t{1} << (size - chunk)) - 1;
        lfs &= held;
        lone &= held;
    }
    out.lfs = lfs;
    out.lone = lone;
    if constexpr (Quick) {
        const std::uint64_t starts = (lfs << 1) | carry.line_starts;
        carry.line_starts = lfs >> (CHUNK - 1);
        const std::uint64_t spaces = found.space;
        // A line start in a run of spaces carries up to the run's first other byte.
        const std::uint64_t after_spaces = add_carry(starts & spaces, spaces, carry.spaces);
        const std::uint64_t at_start = starts & ~spaces;
        const std::uint64_t first = at_start | after_spaces; // and spaces, never a slash
        const std::uint64_t slash = first & found.slash;
        const std::uint64_t two_slashes = ((slash << 1) | carry.slash) & found.slash;
        carry.slash = slash >> (CHUNK - 1);
        const std::uint64_t plain = two_slashes | (at_start & (lfs | found.cr));
        std::uint64_t quick = lines_marked(plain, lfs, carry.plain);
        if constexpr (Lone) {
            quick &= ~lines_marked(lone, lfs, carry.lone);
        }
        // A line of more than LINE_PIECE_MAX bytes holds two whole chunks without an LF,
        // after which no line that runs on is quick; cheaper than measuring each line, and
        // only lines of 130 bytes or more are left unmarked.
        const std::uint64_t no_lf = std::uint64_t{lfs == 0};
        const std::uint64_t keep = (no_lf & carry.no_lf) - 1; // none after two such chunks
        carry.no_lf = no_lf;
        carry.spaces &= keep;
        carry.slash &= keep;
        carry.plain &= keep;
        out.quick = quick;
        out.quick_count = static_cast<std::uint64_t>(std::popcount(quick));
    }
}

// The CRs are wanted for the lone ones, and for quick lines, which may start with one.
template <bool Quick, bool Lone> constexpr bool wants_crs = Quick || Lone;

// One byte at a time: for a processor without the vector instructions below.
template <bool Cr, bool Quick> inline chunk_bytes classify_bytes(const char* bytes) {
    chunk_bytes found;
    for (std::size_t i = 0; i < CHUNK; ++i) {
        found.lf |= std::uint64_t{bytes[i] == '\n'} << i;
        if constexpr (Cr) {
            found.cr |= std::uint64_t{bytes[i] == '\r'} << i;
        }
        if constexpr (Quick) {
            found.space |= std::uint64_t{bytes[i] == ' '} << i;
            found.slash |= std::uint64_t{bytes[i] == '/'} << i;
        }
    }
    return found;
}

#if defined(DSC_MARKS_X86) && defined(__SSE2__)

// 16 bytes a compare: every x86-64 processor has SSE2.
template <bool Cr, bool Quick> inline chunk_bytes classify_sse2(const char* bytes) {
    chunk_bytes found;
    const auto bits = [](__m128i sixteen, char wanted) {
        return std::uint64_t{static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(sixteen, _mm_set1_epi8(wanted))))};
    };
    for (std::size_t i = 0; i < CHUNK; i += 16) {
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        found.lf |= bits(sixteen, '\n') << i;
        if constexpr (Cr) {
            found.cr |= bits(sixteen, '\r') << i;
        }
        if constexpr (Quick) {
            found.space |= bits(sixteen, ' ') << i;
            found.slash |= bits(sixteen, '/') << i;
        }
    }
    return found;
}

// 32 bytes a compare, chosen at run time: most processors in use have AVX2.
#define DSC_MARKS_AVX2 __attribute__((target("avx2,popcnt,bmi,bmi2")))

// The bits of the 64 bytes in two halves that are `wanted`.
[[gnu::always_inline]] DSC_MARKS_AVX2 inline std::uint64_t bits_avx2(__m256i low, __m256i high,
                                                                     char wanted) {
    const __m256i match = _mm256_set1_epi8(wanted);
    const auto low_bits =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, match)));
    const auto high_bits =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, match)));
    return std::uint64_t{low_bits} | (std::uint64_t{high_bits} << 32);
}

template <bool Cr, bool Quick>
[[gnu::always_inline]] DSC_MARKS_AVX2 inline chunk_bytes classify_avx2(const char* bytes) {
    chunk_bytes found;
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32));
    found.lf = bits_avx2(low, high, '\n');
    if constexpr (Cr) {
        found.cr = bits_avx2(low, high, '\r');
    }
    if constexpr (Quick) {
        found.space = bits_avx2(low, high, ' ');
        found.slash = bits_avx2(low, high, '/');
    }
    return found;
}

template <bool Quick, bool Lone>
DSC_MARKS_AVX2 std::size_t mark_avx2(const char* bytes, std::size_t from, std::size_t size,
                                     mark_carry& carry, chunk_marks* out) {
    std::size_t count = 0;
    mark_carry kept = carry; // in registers through the loop
    for (std::size_t chunk = from; chunk < size && count < SEGMENT_CHUNKS; chunk += CHUNK) {
        const chunk_bytes found = classify_avx2<wants_crs<Quick, Lone>, Quick>(bytes + chunk);
        mark_chunk<Quick, Lone>(found, bytes, chunk, size, kept, out[count++]);
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
    for (std::size_t chunk = from; chunk < size && count < SEGMENT_CHUNKS; chunk += CHUNK) {
        constexpr bool crs = wants_crs<Quick, Lone>;
#if defined(DSC_MARKS_X86) && defined(__SSE2__)
        const chunk_bytes found = Bytes ? classify_bytes<crs, Quick>(bytes + chunk)
                                        : classify_sse2<crs, Quick>(bytes + chunk);
#else
        const chunk_bytes found = classify_bytes<crs, Quick>(bytes + chunk);
#endif
        mark_chunk<Quick, Lone>(found, bytes, chunk, size, kept, out[count++]);
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

mark_functions best_functions() {
#if defined(DSC_MARKS_X86) && defined(__SSE2__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
        __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2")) {
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
