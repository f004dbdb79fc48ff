// maptool lsp: the language server, for editors, on standard input and output.
#include "maptool/lsp_server.h"
#include "maptool/verbs.h"
#include "platform/files.h"

#include <iostream>

void add_lsp(command_line& line) {
    verb_line verb = line.verb(
        "lsp", "Serve DSC files to an editor: a language server on standard input and output");
    verb.run([] {
        // Message lengths count bytes: no stream may turn LF into CR LF or back.
        set_binary(stdin);
        set_binary(stdout);
        const int status = serve_lsp(std::cin, std::cout, std::cerr);
        return status == 0 ? exit_status::success : exit_status::findings;
    });
}
