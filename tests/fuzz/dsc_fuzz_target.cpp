// Feeds arbitrary bytes to the real DSC reader as a whole file and checks what must hold
// for every input, beyond not crashing:
// - the outcome is a table of 1 to MAX_ENTRIES entries, or one of the reader's statuses;
// - a file read to its end was counted in line pieces: at least one per LF before the
//   first Ctrl-Z, and at most one more per LINE_PIECE_MAX bytes, plus one;
// - a table written back as canonical DSC lines reads back as the same entries;
// - maptool's checker finds an error exactly when mapmaker fails, its first error is at the
//   line mapmaker names, and without errors it reads the same table;
// - its JSON report is one valid JSON array with an object for each finding;
// - check --fix agrees with itself: what the check reports while fixing is what a check of
//   the fixed text reports, the fixed text has nothing left to fix, and a file mapmaker
//   reads has nothing to fix at all.

#include "mapmaker/first_fault.h"
#include "mapmaker/status.h"
#if defined(MAPMAKER_MAPTOOL)
#include "engine/dsc_check.h"
#include "engine/fixes.h"
#include "maptool/render_json.h"
#include "platform/files.h"

#include <nlohmann/json.hpp>
#endif
#include "table/dsc_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "../test_files.h"
#endif

namespace {

struct outcome {
    status_code status = status_code::ok;
    std::uint64_t lines = 0;
    code_table table;
};

#ifdef _WIN32
// Windows has no fmemopen: a scratch file will do.
std::FILE* open_memory(const void* data, std::size_t size) {
    std::FILE* file = scratch_file();
    if (file == nullptr || std::fwrite(data, 1, size, file) != size) {
        std::abort();
    }
    std::rewind(file);
    return file;
}
#else
std::FILE* open_memory(const void* data, std::size_t size) {
    static char no_bytes = 0;
    void* bytes = size == 0 ? &no_bytes : const_cast<void*>(data);
    std::FILE* file = ::fmemopen(bytes, size, "rb");
    if (file == nullptr) {
        std::abort();
    }
    return file;
}
#endif

outcome read_memory(const void* data, std::size_t size) {
    std::FILE* file = open_memory(data, size);
    outcome result;
    try {
        read_dsc(file, result.table, result.lines);
    } catch (const status_error& failure) {
        result.status = failure.code;
    }
    std::fclose(file);
    return result;
}

void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

std::string canonical_dsc(const code_table& table) {
    std::string text;
    for (std::size_t i = 0; i < table.count; ++i) {
        const map_record& record = table.records[i];
        char line[16];
        std::snprintf(line, sizeof line, "%02X, %02X%02X\n", record[0], record[1], record[2]);
        text += line;
    }
    return text;
}

bool same_entries(const code_table& a, const code_table& b) {
    return a.count == b.count &&
           std::equal(a.records.begin(), a.records.begin() + a.count, b.records.begin());
}

#if defined(MAPMAKER_MAPTOOL)
// What the properties need of a finding; the finding itself points into the file's text.
struct kept_finding {
    severity level;
    std::optional<std::uint64_t> mapmaker_line;
    std::string message;
};

struct collector : renderer {
    std::vector<kept_finding> kept;
    void render(const finding& found) override {
        kept.push_back({found.level, found.mapmaker_line, found.message});
    }
    void finish(const report_counts&) override {}
};

// Hands each finding to the collector and to the JSON renderer alike.
struct both_renderers : renderer {
    renderer& first;
    renderer& second;
    both_renderers(renderer& one, renderer& other) : first(one), second(other) {}
    void render(const finding& found) override {
        first.render(found);
        second.render(found);
    }
    void finish(const report_counts& counts) override {
        first.finish(counts);
        second.finish(counts);
    }
};

std::string whole_text(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        text.append(block, got);
    }
    return text;
}

void check_agrees(const std::uint8_t* data, std::size_t size, const outcome& mapmaker) {
    std::FILE* file = open_memory(data, size);
    std::FILE* json_file = temporary_stream();
    if (json_file == nullptr) {
        std::abort();
    }
    collector found;
    json_renderer json(json_file);
    both_renderers both(found, json);
    diagnostics report(warning_policy{}, both);
    const dsc_check checked = check_dsc(file, "fuzz.dsc", report);
    report.finish();
    std::fclose(file);
    const nlohmann::json parsed = nlohmann::json::parse(whole_text(json_file), nullptr, false);
    std::fclose(json_file);
    require(parsed.is_array() && parsed.size() == found.kept.size(),
            "the JSON report is an array of one object for each finding");
    if (!found.kept.empty() && found.kept[0].message.starts_with("the file is UTF-16")) {
        return; // refused whatever mapmaker makes of its bytes
    }
    require(checked.failed == (mapmaker.status != status_code::ok),
            "check finds an error exactly when mapmaker fails");
    if (mapmaker.status == status_code::ok) {
        require(same_entries(checked.table, mapmaker.table), "check reads mapmaker's table");
        return;
    }
    for (const kept_finding& each : found.kept) {
        if (each.level == severity::error) {
            require(each.mapmaker_line == mapmaker.lines,
                    "the first error is at the line mapmaker names");
            require((mapmaker.status == status_code::too_many_entries) ==
                        (each.message == "a table holds at most 256 entries"),
                    "the first error is the one mapmaker stops at");
            return;
        }
    }
}

// The findings of a check, with or without fixing, as text: line, column and message each.
std::string findings_of(const void* data, std::size_t size, std::optional<fix_choice> fixing,
                        bool& changed) {
    struct lines : renderer {
        std::string text;
        void render(const finding& found) override {
            text += std::to_string(found.line) + ':' + std::to_string(found.column) + ' ' +
                    found.message + '\n';
        }
        void finish(const report_counts&) override {}
    } out;
    std::FILE* file = open_memory(data, size);
    diagnostics report(warning_policy{}, out);
    changed = check_dsc(file, "fuzz.dsc", report, fixing).changed;
    std::fclose(file);
    return out.text;
}

void fixes_agree(const std::uint8_t* data, std::size_t size, const outcome& mapmaker) {
    bool changed = false;
    const std::string left = findings_of(data, size, fix_choice::safe, changed);
    if (!changed) {
        return;
    }
    require(mapmaker.status != status_code::ok, "a file mapmaker reads has nothing to fix");
    std::string fixed;
    std::FILE* file = open_memory(data, size);
    require(copy_fixed(file, fix_choice::safe, [&](std::string_view text) { fixed += text; }),
            "the file is read");
    std::fclose(file);
    bool again = false;
    require(findings_of(fixed.data(), fixed.size(), std::nullopt, again) == left,
            "the check while fixing reports what a check of the fixed text reports");
    findings_of(fixed.data(), fixed.size(), fix_choice::safe, again);
    require(!again, "a fixed file has nothing left to fix");
}

#endif
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const outcome first = read_memory(data, size);
    require(first.status == status_code::ok || first.status == status_code::invalid_dsc ||
                first.status == status_code::too_many_entries,
            "the outcome is a table or one of the reader's statuses");
    require(first.table.count <= MAX_ENTRIES, "the table holds at most MAX_ENTRIES entries");
#if defined(MAPMAKER_MAPTOOL)
    check_agrees(data, size, first);
    fixes_agree(data, size, first);
#endif
    if (first.status != status_code::ok) {
        return 0;
    }
    require(first.table.count >= 1, "a table read to its end holds an entry");

    const auto* text_end = static_cast<const std::uint8_t*>(std::memchr(data, 0x1A, size));
    const std::size_t text_size = text_end == nullptr ? size : text_end - data;
    const auto lfs = static_cast<std::uint64_t>(std::count(data, data + text_size, '\n'));
    require(first.lines >= lfs && first.lines <= lfs + text_size / LINE_PIECE_MAX + 1,
            "the line counter lies between the LFs and the LFs plus the long pieces");

    const std::string canonical = canonical_dsc(first.table);
    const outcome again = read_memory(canonical.data(), canonical.size());
    require(again.status == status_code::ok && again.lines == first.table.count &&
                same_entries(first.table, again.table),
            "a table written as canonical DSC lines reads back the same");
    return 0;
}
