#include "engine/table_source.h"

#include "engine/dsc_check.h"
#include "engine/files.h"
#include "platform/files.h"
#include "table/map_reader.h"

#include <array>

namespace {

// A pipe cannot be read twice, but a file is read once to see whether it is a map file
// and again as a DSC file: what is not a regular file is first copied into a scratch file.
result<input_file> rewindable(input_file file) {
    if (is_regular_file(descriptor_of(file.get()))) {
        return file;
    }
    input_file copy(temporary_stream());
    if (!copy) {
        return failure{"cannot read the file"};
    }
    std::array<char, 1 << 16> buffer;
    bool failed = false;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0;) {
        failed = failed || std::fwrite(buffer.data(), 1, got, copy.get()) != got;
    }
    if (failed || std::ferror(file.get()) != 0 || std::fflush(copy.get()) != 0) {
        return failure{"cannot read the file"};
    }
    std::rewind(copy.get());
    return copy;
}

} // namespace

result<loaded_table> load_table(const std::string& path, diagnostics& report) {
    result<input_file> opened = open_input(path);
    if (!opened) {
        return opened.error();
    }
    result<input_file> file = rewindable(std::move(*opened));
    if (!file) {
        return file.error();
    }
    const map_reading map = read_map(file->get());
    if (map.fault == map_fault::read_error) {
        return failure{"cannot read the file"};
    }
    if (map.fault == map_fault::none) {
        return loaded_table{map.table, true};
    }
    std::rewind(file->get());
    const std::string name = display_name(path);
    const dsc_check checked = check_dsc(file->get(), name, report);
    if (checked.failed) {
        return failure::reported();
    }
    return loaded_table{checked.table, false};
}
