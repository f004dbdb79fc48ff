// Classes and widths from the table generated out of the build machine's ICU data
// (table_data.h), for a build without ICU.
#include "unicode/classes.h"

#include "unicode/general_category.h"
#include "unicode/table_data.h"

namespace {

std::uint8_t kind_of(std::uint32_t code) {
    return table_data::value_at(table_data::code_kind_index, table_data::code_kind_blocks, code);
}

} // namespace

// Beyond the codes a map holds the table knows nothing: no class, one column.
char_class class_of(std::uint32_t code) {
    if (code >= table_data::codes) {
        return char_class::other;
    }
    return class_of_category(static_cast<general_category>(kind_of(code) & ~table_data::wide_bit));
}

int column_width(std::uint32_t code) {
    return code < table_data::codes && (kind_of(code) & table_data::wide_bit) != 0 ? 2 : 1;
}
