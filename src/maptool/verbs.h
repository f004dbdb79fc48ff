// maptool's verbs, one file each.
#pragma once

#include "maptool/command_line.h"

// The verbs, each declared on the command line with what it runs.
void add_check(command_line& line);
void add_fmt(command_line& line);
void add_build(command_line& line);
void add_dump(command_line& line);
void add_diff(command_line& line);
void add_import(command_line& line);
void add_chart(command_line& line);
void add_convert(command_line& line);
void add_which(command_line& line);
void add_export(command_line& line);
void add_list(command_line& line);
void add_lsp(command_line& line);

// Every verb above, in the order `maptool help` lists them.
void add_verbs(command_line& line);
