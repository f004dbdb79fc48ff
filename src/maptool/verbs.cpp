#include "maptool/verbs.h"

void add_verbs(command_line& line) {
    add_check(line);
    add_fmt(line);
    add_build(line);
    add_dump(line);
    add_diff(line);
    add_import(line);
    add_export(line);
    add_convert(line);
    add_chart(line);
    add_which(line);
    add_list(line);
    add_lsp(line);
}
