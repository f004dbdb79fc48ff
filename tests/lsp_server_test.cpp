// maptool lsp: the server alone, fed whole conversations on string streams (requests in,
// responses and notifications out, as JSON, malformed messages among them), and once the
// real program through a pipe.

#include "engine/document_store.h"
#include "engine/dsc_editing.h"
#include "maptool/lsp_server.h"
#include "run_program.h"
#include "test_files.h"
#include "unicode/names.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

using json = nlohmann::json;

namespace {

std::string framed(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string request(int id, const std::string& method, const std::string& params) {
    return framed(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
                  R"(","params":)" + params + "}");
}

std::string notification(const std::string& method, const std::string& params) {
    return framed(R"({"jsonrpc":"2.0","method":")" + method + R"(","params":)" + params + "}");
}

// initialize with the client's capabilities and options, then initialized.
std::string start(const std::string& capabilities = "{}", const std::string& options = "null") {
    return request(1, "initialize",
                   R"({"capabilities":)" + capabilities + R"(,"initializationOptions":)" + options +
                       "}") +
           notification("initialized", "{}");
}

std::string open(const std::string& text_json) {
    return notification("textDocument/didOpen",
                        R"({"textDocument":{"uri":"file:///t.dsc","languageId":"dsc",)"
                        R"("version":1,"text":)" +
                            text_json + "}}");
}

std::string at(int line, int character) {
    return R"({"textDocument":{"uri":"file:///t.dsc"},"position":{"line":)" + std::to_string(line) +
           R"(,"character":)" + std::to_string(character) + "}}";
}

std::string range(int line, int from, int to) {
    return R"({"start":{"line":)" + std::to_string(line) + R"(,"character":)" +
           std::to_string(from) + R"(},"end":{"line":)" + std::to_string(line) +
           R"(,"character":)" + std::to_string(to) + "}}";
}

// A change of the document to a version: the list of changes as JSON.
std::string change(int version, const std::string& changes) {
    return notification("textDocument/didChange",
                        R"({"textDocument":{"uri":"file:///t.dsc","version":)" +
                            std::to_string(version) + R"(},"contentChanges":)" + changes + "}");
}

// One incremental change: a range of a line replaced by a JSON string.
std::string edited(int line, int from, int to, const std::string& text_json) {
    return R"([{"range":)" + range(line, from, to) + R"(,"text":)" + text_json + "}]";
}

const std::string SHUTDOWN = R"({"jsonrpc":"2.0","id":99,"method":"shutdown","params":null})";
const std::string END = framed(SHUTDOWN) + notification("exit", "null");

// The messages written, in order; Windows' text-mode CR LF taken as LF in headers.
std::vector<json> messages_in(const std::string& out) {
    std::vector<json> messages;
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t colon = out.find(':', at);
        std::size_t body = out.find("\r\n\r\n", at);
        body = body == std::string::npos ? out.find("\n\n", at) + 2 : body + 4;
        const std::size_t length = std::stoul(out.substr(colon + 1));
        messages.push_back(json::parse(out.substr(body, length)));
        at = body + length;
    }
    return messages;
}

// What is looked for in the output: the response to a request (by its id; null for the
// responses to messages without a usable id, the nth of them), or the last notification
// of a method; then a value at a JSON pointer in it.
struct expectation {
    json which;
    std::string pointer;
    json value;
    int nth = 0;
};

struct conversation {
    std::string name;
    std::string input;
    std::vector<expectation> expected;
    int status = 0;
    std::size_t messages = 0; // when not 0: how many messages the server writes
    std::string log = {};     // when not empty: the whole log
};

void run(const conversation& each) {
    SCOPED_TRACE(each.name);
    std::istringstream in(each.input);
    std::ostringstream out;
    std::ostringstream log;
    EXPECT_EQ(serve_lsp(in, out, log), each.status);
    if (!each.log.empty()) {
        EXPECT_EQ(log.str(), each.log);
    }
    const std::vector<json> messages = messages_in(out.str());
    if (each.messages != 0) {
        EXPECT_EQ(messages.size(), each.messages) << out.str();
    }
    for (const expectation& expected : each.expected) {
        const json* found = nullptr;
        int seen = 0;
        for (const json& message : messages) {
            const bool match = expected.which.is_string()
                                   ? message.value("method", "") == expected.which
                                   : message.contains("id") && message["id"] == expected.which &&
                                         seen++ == expected.nth;
            if (match) {
                found = &message;
            }
        }
        ASSERT_NE(found, nullptr) << expected.which << "\n" << out.str();
        // null: the value is null or not there at all.
        const json::json_pointer pointer(expected.pointer);
        const json value = found->contains(pointer) ? found->at(pointer) : json();
        EXPECT_EQ(value, expected.value) << expected.pointer << " in " << found->dump();
    }
}

const std::string DIAGNOSTICS = "textDocument/publishDiagnostics";
const std::string RELATED =
    R"({"textDocument":{"publishDiagnostics":{"relatedInformation":true}}})";

TEST(LanguageServer, AnswersEachConversation) {
    const std::vector<conversation> cases = {
        {"initialize answers the capabilities, UTF-16 by default",
         start() + END,
         {{1, "/result/capabilities/positionEncoding", "utf-16"},
          {1, "/result/capabilities/textDocumentSync", {{"openClose", true}, {"change", 2}}},
          {1, "/result/capabilities/hoverProvider", true},
          {1, "/result/capabilities/completionProvider", json::object()},
          {1,
           "/result/capabilities/codeActionProvider/codeActionKinds",
           {"quickfix", "source.fixAll"}},
          {1, "/result/capabilities/documentFormattingProvider", true},
          {1, "/result/serverInfo/name", "maptool"},
          {99, "/result", nullptr}}},
        {"UTF-8 where the client offers it",
         start(R"({"general":{"positionEncodings":["utf-16","utf-8"]}})") + END,
         {{1, "/result/capabilities/positionEncoding", "utf-8"}}},
        {"UTF-16 where the client offers only it",
         start(R"({"general":{"positionEncodings":["utf-16"]}})") + END,
         {{1, "/result/capabilities/positionEncoding", "utf-16"}}},
        {"clangd's offsetEncoding, as Neovim 0.7 sends it, answered in kind",
         start(R"({"offsetEncoding":["utf-8","utf-16"]})") + END,
         {{1, "/result/offsetEncoding", "utf-8"}}},
        {"a finding as check gives it, its note as related information",
         start(RELATED) + open(R"("80, 0410\n0x81, 0411\n")") + END,
         {{DIAGNOSTICS, "/params/uri", "file:///t.dsc"},
          {DIAGNOSTICS, "/params/version", 1},
          {DIAGNOSTICS, "/params/diagnostics/0/range", json::parse(range(1, 0, 4))},
          {DIAGNOSTICS, "/params/diagnostics/0/severity", 1},
          {DIAGNOSTICS, "/params/diagnostics/0/code", "first-field-bad"},
          {DIAGNOSTICS, "/params/diagnostics/0/source", "maptool"},
          {DIAGNOSTICS, "/params/diagnostics/0/relatedInformation/0/message",
           "write the byte as 81, without 0x"},
          {DIAGNOSTICS, "/params/diagnostics/0/relatedInformation/0/location/range",
           json::parse(range(1, 0, 4))}}},
        {"a note on a line before its finding's",
         start(RELATED) + open(R"("// x\n81, 0411\n81, 0412\n")") + END,
         {{DIAGNOSTICS, "/params/diagnostics/0/range", json::parse(range(2, 0, 2))},
          {DIAGNOSTICS, "/params/diagnostics/0/relatedInformation/0/location/range",
           json::parse(range(1, 0, 2))}}},
        {"a finding about the whole text at its start",
         start() + open(R"("// x\n")") + END,
         {{DIAGNOSTICS, "/params/diagnostics/0/range", json::parse(range(0, 0, 0))}}},
        {"a document opened without a version is at version 0",
         start() +
             notification("textDocument/didOpen",
                          R"({"textDocument":{"uri":"file:///t.dsc","text":"80, 0410\n"}})") +
             END,
         {{DIAGNOSTICS, "/params/version", 0}}},
        {"notes joined to the message for a client without related information",
         start() + open(R"("0x81, 0411\n")") + END,
         {{DIAGNOSTICS, "/params/diagnostics/0/message",
           "the first field '0x81' is not a hexadecimal number\nnote: write the byte as 81, "
           "without 0x"}}},
        {"a warning: its class as the code, severity 2",
         start() + open(R"("80, 0410\n80, 0411\n")") + END,
         {{DIAGNOSTICS, "/params/diagnostics/0/severity", 2},
          {DIAGNOSTICS, "/params/diagnostics/0/code", "duplicate-byte"},
          {DIAGNOSTICS, "/params/diagnostics/0/range", json::parse(range(1, 0, 2))}}},
        // "80, 0410 // <U+1D11E>" holds 16 bytes and 14 UTF-16 units before the NUL.
        {"a place after a character beyond U+FFFF, in UTF-16",
         start() + open(R"("80, 0410 // \ud834\udd1e\u0000x\n")") + END,
         {{DIAGNOSTICS, "/params/diagnostics/0/code", "nul"},
          {DIAGNOSTICS, "/params/diagnostics/0/range", json::parse(range(0, 14, 15))}}},
        {"the same place in UTF-8",
         start(R"({"general":{"positionEncodings":["utf-8"]}})") +
             open(R"("80, 0410 // \ud834\udd1e\u0000x\n")") + END,
         {{DIAGNOSTICS, "/params/diagnostics/0/range", json::parse(range(0, 16, 17))}}},
        {"a lone CR ends an editor's line, not the checker's",
         start() + open(R"("// a\rb\n0x80, 0410\n")") + END,
         {{DIAGNOSTICS, "/params/diagnostics/1/code", "first-field-bad"},
          {DIAGNOSTICS, "/params/diagnostics/1/range", json::parse(range(2, 0, 4))}}},
        {"an incremental change that mends the line clears its finding",
         start() + open(R"("0x80, 0410\n")") + change(2, edited(0, 0, 2, R"("")")) + END,
         {{DIAGNOSTICS, "/params/version", 2},
          {DIAGNOSTICS, "/params/diagnostics", json::array()}}},
        {"incremental changes in UTF-16 units, after a character beyond U+FFFF",
         start() + open(R"("// \ud834\udd1e\n80, 0410 // \ud834\udd1e Q\n")") +
             change(2, edited(1, 14, 15, R"("\u0000")")) + END,
         {{DIAGNOSTICS, "/params/diagnostics/0/code", "nul"},
          {DIAGNOSTICS, "/params/diagnostics/0/range", json::parse(range(1, 14, 15))}}},
        {"a full change replaces the text",
         start() + open(R"("80, 0410\n")") + change(3, R"([{"text":"80 ,0410\n"}])") + END,
         {{DIAGNOSTICS, "/params/version", 3},
          {DIAGNOSTICS, "/params/diagnostics/0/code", "second-field-bad"}}},
        {"closing a document clears its diagnostics; it is then unknown",
         start() + open(R"("0x80, 0410\n")") +
             notification("textDocument/didClose", R"({"textDocument":{"uri":"file:///t.dsc"}})") +
             notification("workspace/didChangeConfiguration", R"({"settings":{"warnings":[]}})") +
             request(2, "textDocument/hover", at(0, 0)) + END,
         {{DIAGNOSTICS, "/params/diagnostics", json::array()}, {2, "/error/code", -32602}},
         0,
         5},
        {"warning classes from the initialization options, as -W words",
         start("{}", R"({"warnings":["all","-Wno-ascii"]})") + open(R"("41, 0410\n")") + END,
         {{DIAGNOSTICS, "/params/diagnostics/0/code", "unmapped"},
          {DIAGNOSTICS, "/params/diagnostics/1", nullptr}}},
        {"a change of configuration publishes the diagnostics again",
         start() + open(R"("80, 0410\n80, 0411\n")") +
             notification("workspace/didChangeConfiguration",
                          R"({"settings":{"maptool":{"warnings":["no-duplicate-byte"]}}})") +
             END,
         {{DIAGNOSTICS, "/params/diagnostics", json::array()}},
         0,
         4},
        {"one -W word alone; warnings of another type are said, the classes kept",
         start("{}", R"({"warnings":"error"})") + open(R"("80, 0410\n80, 0411\n")") +
             notification("workspace/didChangeConfiguration", R"({"settings":{"warnings":5}})") +
             END,
         {{"window/showMessage", "/params/type", 2},
          {"window/showMessage", "/params/message",
           "maptool: \"warnings\" must be a list of -W words"},
          {DIAGNOSTICS, "/params/diagnostics/0/severity", 1}}},
        {"a notification that fails is logged, and told to the user",
         start() + open(R"("80, 0410\n")") + change(2, R"([{"text":5}])") + END,
         {{"window/logMessage", "/params/type", 1},
          {"window/logMessage", "/params/message",
           "textDocument/didChange: 'text' must be a string"}},
         0,
         0,
         "maptool lsp: textDocument/didChange: 'text' must be a string\n"},
        {"an unknown warning class is said, the others taken",
         start("{}", R"({"warnings":["no-such-class","error"]})") +
             open(R"("80, 0410\n80, 0411\n")") + END,
         {{"window/showMessage", "/params/type", 2},
          {DIAGNOSTICS, "/params/diagnostics/0/severity", 1}}},
        {"quick fixes for the findings on the range: safe ones preferred, unsafe ones said",
         start() + open(R"("0x80, 0410\n81; 0411\n")") +
             request(2, "textDocument/codeAction",
                     R"({"textDocument":{"uri":"file:///t.dsc"},"range":)" + range(0, 1, 1) +
                         R"(,"context":{"diagnostics":[],"only":["quickfix"]}})") +
             request(3, "textDocument/codeAction",
                     R"({"textDocument":{"uri":"file:///t.dsc"},"range":)" + range(1, 0, 8) +
                         R"(,"context":{"diagnostics":[]}})") +
             request(4, "textDocument/codeAction",
                     R"({"textDocument":{"uri":"file:///t.dsc"},"range":)" + range(0, 4, 4) +
                         R"(,"context":{"diagnostics":[]}})") +
             request(5, "textDocument/codeAction",
                     R"({"textDocument":{"uri":"file:///t.dsc"},"range":)" + range(0, 5, 6) +
                         R"(,"context":{"diagnostics":[]}})") +
             END,
         {{2, "/result/0/title", "delete 0x"},
          {2, "/result/0/kind", "quickfix"},
          {2, "/result/0/isPreferred", true},
          {2, "/result/0/diagnostics/0/code", "first-field-bad"},
          {2, "/result/0/edit/changes/file:~1~1~1t.dsc",
           json::parse(R"([{"range":)" + range(0, 0, 4) + R"(,"newText":"80"}])")},
          {2, "/result/1", nullptr},
          {3, "/result/0/title", "replace ';' with ',' (unsafe)"},
          {3, "/result/0/edit/changes/file:~1~1~1t.dsc/0/range", json::parse(range(1, 2, 3))},
          {3, "/result/0/isPreferred", nullptr},
          // fix all: the safe fixes only, as line edits of the bytes that change
          {3, "/result/1/kind", "source.fixAll"},
          {3, "/result/1/edit/changes/file:~1~1~1t.dsc",
           json::parse(R"([{"range":)" + range(0, 0, 2) + R"(,"newText":""}])")},
          // a range that touches the finding's end is on it; one after it on its line is not
          {4, "/result/0/title", "delete 0x"},
          {5, "/result/0/kind", "source.fixAll"}}},
        {"fix all alone, when asked for, and none when nothing changes",
         start() + open(R"("0x80, 0410\n")") +
             request(2, "textDocument/codeAction",
                     R"({"textDocument":{"uri":"file:///t.dsc"},"range":)" + range(0, 0, 0) +
                         R"(,"context":{"diagnostics":[],"only":["source"]}})") +
             request(4, "textDocument/codeAction",
                     R"({"textDocument":{"uri":"file:///t.dsc"},"range":)" + range(0, 0, 0) +
                         R"(,"context":{"diagnostics":[],"only":[7]}})") +
             change(2, R"([{"text":"80, 0410\n"}])") +
             request(3, "textDocument/codeAction",
                     R"({"textDocument":{"uri":"file:///t.dsc"},"range":)" + range(0, 0, 0) +
                         R"(,"context":{"diagnostics":[]}})") +
             END,
         {{2, "/result/0/kind", "source.fixAll"},
          {2, "/result/1", nullptr},
          {3, "/result", json::array()},
          {4, "/result", json::array()}}},
        {"formatting as fmt does it, as the smallest edits; none for a document mapmaker refuses",
         start() + open(R"("80,410\nab, 0411 x\n")") +
             request(2, "textDocument/formatting",
                     R"({"textDocument":{"uri":"file:///t.dsc"},"options":{}})") +
             change(2, R"([{"text":"80;0410\n"}])") +
             request(3, "textDocument/formatting",
                     R"({"textDocument":{"uri":"file:///t.dsc"},"options":{}})") +
             END,
         {{2, "/result",
           json::parse(R"([{"range":)" + range(0, 3, 3) + R"(,"newText":" 0"},{"range":)" +
                       range(1, 0, 8) + R"(,"newText":"AB, 0411 //"}])")},
          {3, "/result", json::array()},
          {"window/logMessage", "/params/type", 3}}},
        {"hover on a line with a finding, as plain text, the client's first choice",
         start(R"({"textDocument":{"hover":{"contentFormat":["plaintext","markdown"]}}})") +
             open(R"("80, 0410\n80, 0411\n// c\n")") + request(2, "textDocument/hover", at(1, 1)) +
             request(3, "textDocument/hover", at(2, 1)) +
             request(4, "textDocument/hover", at(7, 0)) + change(2, R"([{"text":"0x8, 0410\n"}])") +
             request(5, "textDocument/hover", at(0, 1)) +
             request(6, "textDocument/hover", at(-1, 0)) + END,
         {{2, "/result/contents/kind", "plaintext"},
          {2, "/result/range", json::parse(range(1, 0, 8))},
          {5, "/result/contents/value",
           "error [first-field-bad]: the first field '0x8' is not a hexadecimal number"},
          {3, "/result", nullptr},
          {4, "/result", nullptr},
          {6, "/error/code", -32602}}},
        {"hover on the empty line before a lone CR: the finding of the checker's line",
         start() + open(R"("80, 0410\n\rb\n")") + request(2, "textDocument/hover", at(1, 0)) + END,
         {{2, "/result/range", json::parse(range(1, 0, 0))}}},
        {"malformed messages get the protocol's errors, and the server goes on",
         start() + framed("{not json") + framed(R"([1,2])") + framed(R"({"id":5,"method":"x"})") +
             framed(R"({"jsonrpc":"2.0","id":[1],"method":"shutdown"})") +
             framed(R"({"jsonrpc":"2.0","id":3,"result":null})") +
             framed(R"({"jsonrpc":"2.0","id":4})") + request(6, "no/such/method", "{}") +
             notification("no/such/notification", "{}") +
             notification("$/cancelRequest", R"({"id":6})") +
             request(7, "textDocument/hover",
                     R"({"textDocument":{"uri":"file:///none.dsc"},)"
                     R"("position":{"line":0,"character":0}})") +
             request(8, "textDocument/hover", R"({"position":"here"})") +
             request(9, "initialize", "{}") + END,
         {{nullptr, "/error/code", -32700, 0},
          {nullptr, "/error/code", -32600, 1},
          {5, "/error/code", -32600},
          {nullptr, "/error/code", -32600, 2},
          {4, "/error/code", -32600},
          {6, "/error/code", -32601},
          {7, "/error/code", -32602},
          {8, "/error/code", -32602},
          {9, "/error/code", -32600},
          {99, "/result", nullptr}},
         0,
         11,
         "maptool lsp: a message that is no JSON\n"
         "maptool lsp: no notification no/such/notification, ignored\n"},
        {"a request before initialize is refused, a notification dropped",
         request(2, "textDocument/hover", at(0, 0)) + open(R"("0x80, 0410\n")") + start() + END,
         {{2, "/error/code", -32002}, {1, "/result/serverInfo/name", "maptool"}},
         0,
         3},
        {"a request after shutdown is refused",
         start() + request(2, "shutdown", "null") + request(3, "textDocument/hover", at(0, 0)) +
             notification("exit", "null"),
         {{3, "/error/code", -32600}}},
        // The header after a bad one is found also where its first letter follows a 'c'.
        {"a header without a length is a parse error, and the next message is read",
         start() + "Content-Type: x\r\n\r\nxc" + "Content-Length: x1\r\n\r\n" + END,
         {{nullptr, "/error/code", -32700, 0},
          {nullptr, "/error/code", -32700, 1},
          {99, "/result", nullptr}},
         0,
         4,
         "maptool lsp: the header has no Content-Length\n"
         "maptool lsp: the Content-Length header is not a number\n"},
        // A blank line before a message is passed over; what a bad header is followed by
        // is passed over up to "Content-Length:", but "ontent-length:" is no header.
        {"a length between blanks; an empty one, or one with more after its digits, is none",
         start() + "\r\n" + "Content-Length: \r\n\r\nontent-length: 2\r\n\r\n{}" +
             "Content-Length: 2x\r\n\r\n{ontent-length: 1}" + "Content-Length:\t" +
             std::to_string(SHUTDOWN.size()) + " \t\r\n\r\n" + SHUTDOWN +
             notification("exit", "null"),
         {{nullptr, "/error/code", -32700, 1}, {99, "/result", nullptr}},
         0,
         4,
         "maptool lsp: the Content-Length header is not a number\n"
         "maptool lsp: the Content-Length header is not a number\n"},
        {"exit without shutdown ends with 1", start() + notification("exit", "null"), {}, 1, 1},
        {"the input's end without exit ends with 1",
         start(),
         {},
         1,
         1,
         "maptool lsp: the input ended without exit\n"},
        {"a message cut short ends with 1", start() + "Content-Length: 50\r\n\r\n{}", {}, 1, 1},
        {"a header cut short ends with 1",
         start() + "Content-Len",
         {},
         1,
         1,
         "maptool lsp: the input ended within a message\n"},
        {"so does a header without the blank line after it",
         start() + "Content-Length: 2\r\n",
         {},
         1,
         1,
         "maptool lsp: the input ended within a message\n"},
    };
    for (const conversation& each : cases) {
        run(each);
    }
}

TEST(LanguageServer, OffersNamesToComplete) {
    if (!names_available()) {
        GTEST_SKIP() << "built without character names";
    }
    const std::vector<conversation> cases = {
        {"hover on an entry: byte, character, code, name and class, in markdown",
         start(R"({"textDocument":{"hover":{"contentFormat":["markdown","plaintext"]}}})") +
             open(R"("80, 0410\n81, 0301\n82, 0085\n")") +
             request(2, "textDocument/hover", at(0, 5)) +
             request(3, "textDocument/hover", at(1, 0)) +
             request(4, "textDocument/hover", at(2, 0)) + END,
         {{2,
           "/result/contents",
           {{"kind", "markdown"},
            {"value", "byte **80** → **А** `U+0410` CYRILLIC CAPITAL LETTER A\n\nclass: letter"}}},
          {3, "/result/contents/value",
           "byte **81** → **◌́** `U+0301` COMBINING ACUTE ACCENT\n\nclass: mark"},
          {4, "/result/contents/value",
           "byte **82** → `U+0085` \\<control-0085\\>\n\nclass: control"}}},
        {"hover as plain text: the entry, then the finding on its line",
         start() + open(R"("80, 0410\n80, 0411\n")") + request(2, "textDocument/hover", at(1, 1)) +
             END,
         {{2, "/result/contents/value",
           "byte 80 → Б U+0411 CYRILLIC CAPITAL LETTER BE\nclass: letter\n"
           "warning [duplicate-byte]: source code 80 is listed again"}}},
        {"the name of the line's code in its comment, also right after its '//'",
         start() + open(R"("80, 0410 // CYR\n")") +
             request(2, "textDocument/completion", at(0, 15)) +
             request(3, "textDocument/completion", at(0, 11)) + END,
         {{2, "/result/isIncomplete", false},
          {2, "/result/items/0/label", "CYRILLIC CAPITAL LETTER A"},
          {2, "/result/items/0/sortText", "0000"},
          {2, "/result/items/0/kind", 12},
          {2, "/result/items/0/textEdit",
           json::parse(R"({"range":)" + range(0, 12, 15) +
                       R"(,"newText":"CYRILLIC CAPITAL LETTER A"})")},
          {2, "/result/items/1", nullptr},
          {3, "/result/items/0/textEdit/range", json::parse(range(0, 11, 15))}}},
        {"codes by the words of their names in the second field, a comment added",
         start() + open(R"("80, hebrew ale\n81, hebrew zay\n")") +
             request(2, "textDocument/completion", at(0, 14)) +
             request(3, "textDocument/completion", at(1, 14)) + END,
         {{2, "/result/isIncomplete", false},
          {2, "/result/items/0/label", "HEBREW LETTER ALEF"},
          {2, "/result/items/0/detail", "U+05D0"},
          {2, "/result/items/0/textEdit",
           json::parse(R"({"range":)" + range(0, 4, 14) +
                       R"(,"newText":"05D0 // HEBREW LETTER ALEF"})")},
          {2, "/result/items/1/label", "HEBREW LETTER WIDE ALEF"},
          {3, "/result/items/0/label", "HEBREW LETTER ZAYIN"}}},
        {"names that start with the typed text first, then the others, each in code order",
         start() + open(R"("80, alef\n")") + request(2, "textDocument/completion", at(0, 8)) + END,
         {{2, "/result/items/0/label", "ALEF SYMBOL"},
          {2, "/result/items/1/label", "HEBREW LETTER ALEF"}}},
        {"incomplete also when only names that start with the typed text are more than 50",
         start() + open(R"("80, cjk compatibility ideograph\n")") +
             request(2, "textDocument/completion", at(0, 31)) + END,
         {{2, "/result/isIncomplete", true}, {2, "/result/items/49/detail", "U+F931"}}},
        {"at most 50, and said to be incomplete",
         start() + open(R"("80, letter // x\n")") +
             request(2, "textDocument/completion", at(0, 10)) +
             request(3, "textDocument/completion", at(0, 2)) + END,
         {{2, "/result/isIncomplete", true},
          {2, "/result/items/0/textEdit/newText", "0041"},
          {2, "/result/items/49/textEdit/newText", "0078"},
          {2, "/result/items/50", nullptr},
          {3, "/result/items", json::array()}}},
        {"50 found in all is complete; separators alone and a placeholder's words find nothing",
         start() + open(R"("80, thaana\n80, -\n80, 0000>\n")") +
             request(2, "textDocument/completion", at(0, 10)) +
             request(3, "textDocument/completion", at(1, 5)) +
             request(4, "textDocument/completion", at(2, 9)) + END,
         {{2, "/result/isIncomplete", false},
          {2, "/result/items/49/detail", "U+07B1"},
          {3, "/result/items", json::array()},
          {4, "/result/items", json::array()}}},
    };
    for (const conversation& each : cases) {
        run(each);
    }
}

// Places in a text with a lone CR, a CR LF, and characters of 2 and 4 UTF-8 bytes.
TEST(LanguageServer, TurnsPlacesIntoOffsetsAndBack) {
    const std::string text = "a\xD0\x96"
                             "b\rc\xF0\x9D\x84\x9E\r\nd";
    // Lead bytes at the edges of their ranges, a byte that leads nothing, a lone CR last.
    const std::string edges = "\xC2\x80\xE0\xA0\x80\xEF\xBB\xBF\xFFx\n\r";
    struct place_case {
        text_position at;
        position_encoding encoding;
        std::size_t offset;
        text_position back;       // the place of that offset
        std::string_view in = {}; // the text, when not the first
    };
    const std::vector<place_case> cases = {
        {{0, 0}, position_encoding::utf16, 0, {0, 0}},
        {{0, 2}, position_encoding::utf16, 3, {0, 2}},
        {{0, 2}, position_encoding::utf8, 1, {0, 1}}, // within a character: its start
        {{0, 3}, position_encoding::utf8, 3, {0, 3}},
        {{0, 9}, position_encoding::utf16, 4, {0, 3}}, // beyond the line: its end
        {{1, 1}, position_encoding::utf16, 6, {1, 1}},
        {{1, 2}, position_encoding::utf16, 6, {1, 1}}, // within a surrogate pair
        {{1, 3}, position_encoding::utf16, 10, {1, 3}},
        {{1, 5}, position_encoding::utf8, 10, {1, 5}},
        {{2, 0}, position_encoding::utf16, 12, {2, 0}}, // after CR LF
        {{2, 1}, position_encoding::utf16, 13, {2, 1}},
        {{7, 0}, position_encoding::utf16, 13, {2, 1}}, // beyond the text: its end
        {{0, 1}, position_encoding::utf16, 2, {0, 1}, edges},
        {{0, 2}, position_encoding::utf16, 5, {0, 2}, edges},
        {{0, 3}, position_encoding::utf16, 8, {0, 3}, edges},
        {{0, 4}, position_encoding::utf16, 9, {0, 4}, edges},
        {{1, 0}, position_encoding::utf16, 11, {1, 0}, edges},
    };
    for (const place_case& each : cases) {
        text_locator locate(each.in.empty() ? text : each.in, each.encoding);
        const std::size_t offset = locate.offset(each.at);
        EXPECT_EQ(offset, each.offset) << each.at.line << ":" << each.at.character;
        const text_position back = locate.position(offset);
        EXPECT_EQ(back.line, each.back.line) << offset;
        EXPECT_EQ(back.character, each.back.character) << offset;
    }
    // The CR of a CR LF: the end of its line, as is its LF.
    text_locator locate(text, position_encoding::utf16);
    EXPECT_EQ(locate.position(11).line, 1U);
    EXPECT_EQ(locate.position(11).character, 3U);
    // An offset within a character, going back: the place of its start.
    EXPECT_EQ(locate.position(2).character, 1U);
    // The checker's lines end at LF alone; columns are bytes, clamped before the line end.
    EXPECT_EQ(locate.checker_offset(1, 1), 0U);
    EXPECT_EQ(locate.checker_offset(1, 6), 5U);
    EXPECT_EQ(locate.checker_offset(1, 99), 10U);
    EXPECT_EQ(locate.checker_offset(2, 1), 12U);
    EXPECT_EQ(locate.checker_offset(2, 0), 12U); // column 0: the line's start too
    EXPECT_EQ(locate.checker_offset(3, 1), 13U);
    EXPECT_EQ(locate.checker_offset(1, 1), 0U); // back to a line before
    EXPECT_EQ(locate.checker_offset(0, 1), 0U); // line 0: the first line too
    // A lone CR at the end of the text is no line end: it stays in the line.
    EXPECT_EQ(text_locator(edges, position_encoding::utf16).checker_offset(2, 99), 12U);
    // A character of four bytes from the highest lead byte: two UTF-16 units.
    text_locator highest("\xF4\x8F\xBF\xBFx", position_encoding::utf16);
    EXPECT_EQ(highest.offset({0, 2}), 4U);
}

// A text of a few megabytes, so that the walk notes line starts on its way, with every
// line end and a last line without one; places asked for forwards and backwards from
// one locator are those a plain count from the start gives.
TEST(LanguageServer, PlacesTextsInAnyOrder) {
    const std::vector<std::string> lines = {"ab\r\n", "c\r", "\n", "def\n", "\r\r\n"};
    std::string text;
    for (std::size_t i = 0; text.size() < (std::size_t{3} << 20); ++i) {
        text += lines[i % lines.size()];
    }
    text += "gh";
    // The place of an offset and the start of the checker's line it is on, counted.
    struct counted {
        text_position at;
        std::size_t checker_start;
        std::uint64_t checker_line;
    };
    const auto count = [&](std::size_t offset) {
        counted found{{0, 0}, 0, 1};
        std::size_t start = 0;
        for (std::size_t i = 0; i < offset; ++i) {
            const bool crlf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
            if (text[i] == '\n' || (text[i] == '\r' && !crlf)) {
                ++found.at.line;
                start = i + 1;
            }
            if (text[i] == '\n') {
                ++found.checker_line;
                found.checker_start = i + 1;
            }
        }
        found.at.character = offset - start;
        return found;
    };
    const std::size_t size = text.size();
    const std::vector<std::size_t> offsets = {size / 2,
                                              size / 2 + 7,
                                              5,
                                              size - 1,
                                              size / 3,
                                              (std::size_t{2} << 20) + 3,
                                              0,
                                              size,
                                              size / 2 - 1,
                                              1,
                                              (std::size_t{1} << 20) + 1};
    text_locator locate(text, position_encoding::utf8);
    for (const std::size_t offset : offsets) {
        const counted expected = count(offset);
        const text_position at = locate.position(offset);
        EXPECT_EQ(at.line, expected.at.line) << offset;
        EXPECT_EQ(at.character, expected.at.character) << offset;
        EXPECT_EQ(locate.offset(expected.at), offset) << offset;
        EXPECT_EQ(locate.checker_offset(expected.checker_line, 1), expected.checker_start)
            << offset;
    }
}

TEST(LanguageServer, EditsOnlyWhatChanges) {
    struct edit_case {
        std::string before;
        std::string after;
        std::vector<text_edit> edits;
    };
    const std::vector<edit_case> cases = {
        {"80,410\n", "80,410\n", {}},
        {"80,410\nab\n", "80, 0410\nAB\n", {{3, 3, " 0"}, {7, 9, "AB"}}},
        {"a\r\nb\r\n", "a\r\nc\r\n", {{3, 4, "c"}}},
        // never within a character: \xD0\x96 and \xD0\x97 share their first byte
        {"x\xD0\x96y", "x\xD0\x97y", {{1, 3, "\xD0\x97"}}},
        {"a\xD0\x96", "b\xD1\x96", {{0, 3, "b\xD1\x96"}}},
        {"ab", "b", {{0, 1, ""}}},
        // the byte after the old text is no part of it, even where the new text has it
        {"ab", std::string("ab\0c", 4), {{2, 2, std::string("\0c", 2)}}},
        // lines that come or go: the whole text
        {"a\nb\n", "a\n", {{0, 4, "a\n"}}},
    };
    for (const edit_case& each : cases) {
        const std::vector<text_edit> edits = line_edits(each.before, each.after);
        ASSERT_EQ(edits.size(), each.edits.size()) << each.before;
        for (std::size_t i = 0; i < edits.size(); ++i) {
            EXPECT_EQ(edits[i].from, each.edits[i].from) << each.before;
            EXPECT_EQ(edits[i].to, each.edits[i].to) << each.before;
            EXPECT_EQ(edits[i].text, each.edits[i].text) << each.before;
        }
        std::string edited = each.before;
        for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
            edited.replace(edit->from, edit->to - edit->from, edit->text);
        }
        EXPECT_EQ(edited, each.after);
    }
}

TEST(LanguageServer, RunsAsTheProgramThroughAPipe) {
    temp_dir dir;
    // A CR LF before the text, between two of the JSON's tokens, counts toward its length.
    const std::string text = "\r\n"
                             R"("0x80, 0410\n")";
    const program_result run = run_program(MAPTOOL_PATH, dir.path(), {"maptool", "lsp"},
                                           start() + open(text) + END, input_kind::pipe);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::vector<json> messages = messages_in(run.out);
    ASSERT_EQ(messages.size(), 3U) << run.out;
    EXPECT_EQ(messages[1]["params"]["diagnostics"][0]["code"], "first-field-bad");
    EXPECT_EQ(messages[2]["result"], nullptr);
}

} // namespace
