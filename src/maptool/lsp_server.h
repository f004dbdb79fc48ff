// maptool lsp: a language server for DSC files, on a pair of streams (the program's standard
// input and output; string streams in the tests).
#pragma once

#include <istream>
#include <ostream>

// Serves one client until it sends exit or its input ends, writing nothing but protocol
// messages to `out` and what goes wrong to `log`: 0 after shutdown and exit, else 1.
int serve_lsp(std::istream& in, std::ostream& out, std::ostream& log);
