#include "engine/export.h"

#include "engine/charmap.h"
#include "engine/dump.h"
#include "engine/import.h"
#include "engine/ucm.h"
#include "engine/unicode_mapping.h"
#include "unicode/names.h"

std::optional<export_format> export_format_named(std::string_view word) {
    if (word == "ucm") {
        return export_format::ucm;
    }
    if (word == "unicode") {
        return export_format::unicode;
    }
    if (word == "charmap") {
        return export_format::charmap;
    }
    if (word == "dsc") {
        return export_format::dsc;
    }
    return std::nullopt;
}

std::string export_text(const loaded_table& loaded, export_format format, const std::string& origin,
                        bool ascii) {
    switch (format) {
    case export_format::ucm:
        return ucm_text(loaded.name, entries_to_write(loaded, ascii), origin);
    case export_format::unicode:
        return unicode_mapping_text(loaded.name, entries_to_write(loaded, false), origin);
    case export_format::charmap:
        return charmap_text(loaded.name, entries_to_write(loaded, ascii), origin);
    case export_format::dsc:
        break;
    }
    return dump_text(loaded, true);
}

std::string export_name(const loaded_table& loaded) {
    return charset_word(loaded.name);
}

std::string export_name_taken(const loaded_table& loaded, export_format format) {
    const std::string name = export_name(loaded);
    if (format == export_format::ucm && icu_has_converter(name)) {
        return "ICU";
    }
    if (format == export_format::charmap && iconv_knows(name)) {
        return "glibc's iconv";
    }
    return {};
}
