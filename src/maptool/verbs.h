// The verbs of maptool. Each adds its subcommand to the application; when the command line
// chooses it, its callback runs the verb and sets the exit status.
#pragma once

#include <CLI/CLI.hpp>

void add_check(CLI::App& app, int& status);
void add_build(CLI::App& app, int& status);
void add_dump(CLI::App& app, int& status);
void add_diff(CLI::App& app, int& status);
void add_import(CLI::App& app, int& status);
