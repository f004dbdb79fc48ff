// Transliteration from ICU's transforms (its i18n library) and its normalizer.
#include "unicode/transliteration.h"

#include "platform/atomic_file.h"

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>

namespace {

// ICU says it ran out of memory as an error code, or leaves a string it could not grow
// bogus: that is no answer (no transform, no rendering) but the run's shortage. (Some of
// its shortages while it builds a transform come out as U_INVALID_ID, which cannot be told
// from a transform its data lacks: then --translit is refused, and nothing is written.)
void check_memory(UErrorCode error, const icu::UnicodeString& text = {}) {
    if (error == U_MEMORY_ALLOCATION_ERROR || text.isBogus()) {
        throw_out_of_memory();
    }
}

// Made once, on first use: building ICU's Any-Latin takes a tenth of a second, which a
// conversion without --translit never pays.
struct transforms {
    std::unique_ptr<icu::Transliterator> latin;
    std::unique_ptr<icu::Transliterator> ascii;
};

const transforms& the_transforms() {
    static const transforms made = [] {
        transforms t;
        UErrorCode error = U_ZERO_ERROR;
        t.latin.reset(icu::Transliterator::createInstance("Any-Latin", UTRANS_FORWARD, error));
        check_memory(error);
        if (U_FAILURE(error)) {
            t.latin.reset();
        }
        error = U_ZERO_ERROR;
        t.ascii.reset(
            icu::Transliterator::createInstance("Any-Latin; Latin-ASCII", UTRANS_FORWARD, error));
        check_memory(error);
        if (U_FAILURE(error)) {
            t.ascii.reset();
        }
        return t;
    }();
    return made;
}

std::u32string code_points(const icu::UnicodeString& text) {
    std::u32string points;
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
        points += static_cast<char32_t>(text.char32At(i));
    }
    return points;
}

// The first code point of the canonical decomposition when all that follows it are
// combining marks: "o" for "ő"; else nothing.
std::u32string base_letter(std::uint32_t code) {
    UErrorCode error = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(error);
    icu::UnicodeString decomposed;
    check_memory(error);
    if (U_FAILURE(error) || !nfd->getDecomposition(static_cast<UChar32>(code), decomposed)) {
        return {};
    }
    check_memory(U_ZERO_ERROR, decomposed);
    const std::u32string points = code_points(decomposed);
    const bool marks_only = std::all_of(points.begin() + 1, points.end(), [](char32_t point) {
        return u_charType(static_cast<UChar32>(point)) == U_NON_SPACING_MARK;
    });
    return points.size() > 1 && marks_only ? points.substr(0, 1) : std::u32string();
}

} // namespace

bool translit_available() {
    const transforms& t = the_transforms();
    return t.latin != nullptr && t.ascii != nullptr;
}

std::vector<std::u32string> close_renderings(std::uint32_t code) {
    std::vector<std::u32string> found;
    const auto add = [&found, code](const std::u32string& rendering) {
        const bool same = rendering.size() == 1 && rendering[0] == code;
        if (!rendering.empty() && !same &&
            std::find(found.begin(), found.end(), rendering) == found.end()) {
            found.push_back(rendering);
        }
    };
    add(base_letter(code));
    const transforms& t = the_transforms();
    for (const icu::Transliterator* transform : {t.latin.get(), t.ascii.get()}) {
        if (transform != nullptr) {
            icu::UnicodeString text(static_cast<UChar32>(code));
            transform->transliterate(text);
            check_memory(U_ZERO_ERROR, text);
            add(code_points(text));
        }
    }
    return found;
}
