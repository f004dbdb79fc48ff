#include "maptool/table_io.h"

#include "maptool/common.h"
#include "maptool/dsc_check.h"
#include "table/dsc_pieces.h"
#include "table/map_file.h"
#include "table/map_reader.h"

#include <array>
#include <filesystem>

#include <sys/stat.h>
#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// An empty file opened "w+b", removed when closed. Windows' tmpfile() makes it in the root
// folder of the current drive, where a user may not write, so there it goes in the user's
// temporary folder ("D": deleted on close).
std::FILE* scratch_file() {
#if defined(_WIN32)
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    if (::GetTempPathA(sizeof folder, folder) == 0 ||
        ::GetTempFileNameA(folder, "mt", 0, name) == 0) {
        return nullptr;
    }
    return std::fopen(name, "w+bD");
#else
    return std::tmpfile();
#endif
}

// A pipe cannot be read twice, but a file is read once to see whether it is a map file
// and again as a DSC file: what is not a regular file is first copied into a scratch file.
input_file rewindable(input_file file, bool& failed) {
    failed = false;
    struct stat info {};
    if (::fstat(fileno(file.get()), &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG) {
        return file;
    }
    input_file copy(scratch_file());
    if (!copy) {
        failed = true;
        return copy;
    }
    std::array<char, 1 << 16> buffer;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0;) {
        if (std::fwrite(buffer.data(), 1, got, copy.get()) != got) {
            failed = true;
        }
    }
    failed = failed || std::ferror(file.get()) != 0 || std::fflush(copy.get()) != 0;
    std::rewind(copy.get());
    return copy;
}

} // namespace

diagnostic_printer error_printer(const std::string& color) {
    diagnostic_printer printer;
    printer.out = stderr;
    choose_color(color, stderr, printer.color);
    return printer;
}

std::optional<loaded_table> load_table(const std::string& path, diagnostic_printer& printer) {
    const std::string name = display_name(path);
    std::string error;
    input_file opened = open_input(path, error);
    if (!opened) {
        report_error(printer, name, "cannot open the file: " + error);
        return std::nullopt;
    }
    bool failed = false;
    const input_file file = rewindable(std::move(opened), failed);
    if (failed) {
        report_error(printer, name, "cannot read the file");
        return std::nullopt;
    }
    loaded_table loaded;
    const map_reading map = read_map(file.get());
    if (map.fault == map_fault::read_error) {
        report_error(printer, name, "cannot read the file");
        return std::nullopt;
    }
    if (map.fault == map_fault::none) {
        loaded.table = map.table;
        loaded.is_map = true;
        return loaded;
    }
    std::rewind(file.get());
    const dsc_check checked = check_dsc(file.get(), name, printer);
    if (checked.failed) {
        return std::nullopt;
    }
    loaded.table = checked.table;
    return loaded;
}

std::string dsc_header(std::string_view name) {
    return "//" + std::string(name) + " -> UNICODE\n";
}

std::string dsc_entry(std::uint8_t byte, std::uint16_t code, std::string_view name) {
    std::string line = hex_digits(byte, 2) + ", " + hex_digits(code, 4);
    if (!name.empty()) {
        line += " // ";
        // mapmaker reads a longer line as two, the second one a fault: a name is cut to fit.
        // Control characters would end the line or hide the rest of it.
        for (const char c : name.substr(0, LINE_PIECE_MAX - 1 - line.size())) {
            line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    }
    return line + '\n';
}

bool put_dsc(const std::string& path, std::string_view text, std::string& error) {
    if (path.empty() || path == "-") {
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
            std::fflush(stdout) != 0) {
            error = "cannot write to standard output";
            return false;
        }
        return true;
    }
    return write_text_file(path, text, error);
}

std::string table_name_of(const std::string& path) {
    return path == "-" ? "stdin" : std::filesystem::path(path).stem().string();
}
