#include "maptool/lsp_server.h"

#include "engine/chart_detail.h"
#include "engine/document_store.h"
#include "engine/dsc_editing.h"
#include "engine/dsc_format.h"
#include "engine/dsc_text.h"
#include "engine/fixes.h"
#include "engine/utf8.h"
#include "maptool/lsp_protocol.h"
#include "unicode/names.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <optional>

using json = nlohmann::json;

namespace {

// JSON-RPC's error codes, and the protocol's.
constexpr int PARSE_ERROR = -32700;
constexpr int INVALID_REQUEST = -32600;
constexpr int METHOD_NOT_FOUND = -32601;
constexpr int INVALID_PARAMS = -32602;
constexpr int SERVER_NOT_INITIALIZED = -32002;

// A request that fails: the error response's code and message.
struct rpc_error {
    int code;
    std::string message;
};

constexpr std::size_t COMPLETION_LIMIT = 50;
// A message body bigger than this (a whole document) is not kept for the next message.
constexpr std::size_t BODY_KEPT = std::size_t{1} << 20;

// --- Reading the client's messages ---------------------------------------------------

const json& member(const json& object, const char* name) {
    static const json none;
    if (!object.is_object()) {
        return none;
    }
    const auto found = object.find(name);
    return found == object.end() ? none : *found;
}

// A member that must be there with the type asked for; else the request's params are
// invalid.
std::string string_at(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!value.is_string()) {
        throw rpc_error{INVALID_PARAMS, std::string("'") + name + "' must be a string"};
    }
    return value.get<std::string>();
}

// The same, taken out of the message rather than copied: a document's whole text.
std::string string_taken(json& object, const char* name) {
    if (!object.is_object() || !object.contains(name) || !object[name].is_string()) {
        throw rpc_error{INVALID_PARAMS, std::string("'") + name + "' must be a string"};
    }
    return std::move(object[name].get_ref<std::string&>());
}

std::uint64_t count_at(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!value.is_number_unsigned() &&
        !(value.is_number_integer() && value.get<std::int64_t>() >= 0)) {
        throw rpc_error{INVALID_PARAMS, std::string("'") + name + "' must be a number from 0 on"};
    }
    return value.get<std::uint64_t>();
}

text_position position_at(const json& object) {
    return {count_at(object, "line"), count_at(object, "character")};
}

text_range range_at(const json& object) {
    return {position_at(member(object, "start")), position_at(member(object, "end"))};
}

bool has_string(const json& list, std::string_view wanted) {
    return list.is_array() && std::any_of(list.begin(), list.end(), [&](const json& each) {
               return each.is_string() && each.get<std::string>() == wanted;
           });
}

// --- Writing the server's messages ---------------------------------------------------

json position_json(text_position at) {
    return {{"line", at.line}, {"character", at.character}};
}

json range_json(const text_range& range) {
    return {{"start", position_json(range.start)}, {"end", position_json(range.end)}};
}

// The range of bytes [column, column + span) of a line as the checker counts them; the
// start of the text for a finding about the whole file.
text_range checker_range(text_locator& locate, std::uint64_t line, std::uint64_t column,
                         std::size_t span) {
    if (line == 0) {
        return {};
    }
    const std::size_t from = locate.checker_offset(line, column);
    const std::size_t to = locate.checker_offset(line, column + span);
    const text_position start = locate.position(from);
    return {start, locate.position(to)};
}

// A finding's rule: its warning class, or for an error of no class its kind, as
// check --format=json names them.
std::string_view rule_of(const finding& found) {
    return found.which ? class_name(*found.which) : kind_name(found.kind);
}

std::string markdown_escaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (std::string_view("\\`*_[]<>#|~").find(c) != std::string_view::npos) {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

// The line a request's position is on, without its line end, and the position's offset.
struct line_at {
    std::size_t start = 0;
    std::size_t cursor = 0;
    std::string_view text;
    bool beyond = false; // the position is beyond the last line
};

line_at line_of(std::string_view text, text_locator& locate, text_position at) {
    const std::size_t start = locate.offset({at.line, 0});
    const std::size_t end = locate.offset({at.line, UINT64_MAX});
    return {start, locate.offset(at), text.substr(start, end - start),
            locate.position(start).line != at.line};
}

// An entry as hover shows it: "byte 80 → А U+0410 CYRILLIC CAPITAL LETTER A", then its
// class; a control or a code of no class is not shown, a combining mark on a dotted circle.
std::string hover_text(const entry_facts& entry, bool markdown) {
    const bool shown = entry.kind != char_class::control && entry.kind != char_class::other;
    const std::string character =
        (entry.kind == char_class::mark ? "\u25CC" : "") + utf8_of(entry.code);
    const std::string code = "U+" + hex_digits(entry.code, 4);
    const std::string kind(class_word(entry.kind));
    if (markdown) {
        return "byte **" + hex_digits(entry.byte, 2) + "** → " +
               (shown ? "**" + markdown_escaped(character) + "** " : "") + "`" + code + "` " +
               markdown_escaped(entry.name) + "\n\nclass: " + kind;
    }
    return "byte " + hex_digits(entry.byte, 2) + " → " + (shown ? character + " " : "") + code +
           (entry.name.empty() ? "" : " " + entry.name) + "\nclass: " + kind;
}

// A finding as hover shows it: "warning [duplicate-byte]: source code 80 is listed again".
std::string hover_text(const finding& found, bool markdown) {
    const std::string said = std::string(found.level == severity::error ? "error" : "warning") +
                             " [" + std::string(rule_of(found)) + "]: ";
    return markdown ? "**" + said + "**" + markdown_escaped(found.message) : said + found.message;
}

// What the client said it can take, in initialize.
struct client_abilities {
    position_encoding encoding = position_encoding::utf16;
    bool markdown = false;            // hover text as markdown
    bool related_information = false; // notes as a diagnostic's relatedInformation
};

class server {
  public:
    server(std::ostream& out, std::ostream& log) : out_(out), log_(log) {}

    // Handles one message; false once the client has said exit. A big body's memory is
    // given back once it is read, before the message is handled.
    bool take(std::string& body);
    void bad_header(const std::string& problem) {
        log_ << "maptool lsp: " << problem << '\n';
        respond_error(nullptr, PARSE_ERROR, problem);
    }
    int exit_status() const { return shut_down_ ? 0 : 1; }

  private:
    void send(const json& message) {
        write_frame(out_, message.dump(-1, ' ', false, json::error_handler_t::replace));
    }
    void respond(const json& id, json result) {
        send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
    }
    void respond_error(const json& id, int code, const std::string& message) {
        send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
    }
    void notify(const char* method, json params) {
        send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
    }
    // A message for the user: 1 error, 2 warning, 3 info, 4 log.
    void tell(const char* method, int type, const std::string& message) {
        notify(method, {{"type", type}, {"message", message}});
    }

    void request(const json& id, const std::string& method, const json& params);
    void notification(const std::string& method, json& params);

    json initialize(const json& params);
    void configure(const json& settings);
    void did_open(json& params);
    void did_change(json& params);
    void did_close(json& params);
    json hover(const json& params);
    json code_action(const json& params);
    json formatting(const json& params);
    json completion(const json& params);

    // The open document a request names; an error when it is not open.
    document& named(const json& params, std::string& uri);
    void publish(const std::string& uri, const document& open);
    json diagnostic_json(const std::string& uri, text_locator& locate, const finding& found);
    json edits_json(std::string_view text, const std::vector<text_edit>& edits);

    std::ostream& out_;
    std::ostream& log_;
    bool initialized_ = false;
    bool shut_down_ = false;
    client_abilities client_;
    warning_policy policy_;
    document_store documents_;
    std::map<std::string, std::vector<finding>, std::less<>> findings_; // of each open document
};

bool server::take(std::string& body) {
    json message = json::parse(body, nullptr, false);
    if (body.capacity() > BODY_KEPT) {
        std::string().swap(body);
    }
    if (message.is_discarded()) {
        log_ << "maptool lsp: a message that is no JSON\n";
        respond_error(nullptr, PARSE_ERROR, "the message is not JSON");
        return true;
    }
    const json& id = member(message, "id");
    const bool valid_id = id.is_null() || id.is_string() || id.is_number_integer();
    const json& method = member(message, "method");
    if (!message.is_object() || member(message, "jsonrpc") != "2.0" || !valid_id ||
        (!method.is_string() && !message.contains("result") && !message.contains("error"))) {
        respond_error(valid_id ? id : json(nullptr), INVALID_REQUEST,
                      "not a JSON-RPC 2.0 request, response or notification");
        return true;
    }
    if (!method.is_string()) {
        return true; // a response: the server asks the client nothing that needs one
    }
    const std::string name = method.get<std::string>();
    if (name == "exit") {
        return false;
    }
    json params = message.contains("params") ? std::move(message["params"]) : json();
    if (message.contains("id")) {
        request(id, name, params);
        return true;
    }
    // A notification has no answer: what goes wrong is logged.
    const auto failed = [&](const std::string& why) {
        log_ << "maptool lsp: " << name << ": " << why << '\n';
        tell("window/logMessage", 1, name + ": " + why);
    };
    try {
        notification(name, params);
    } catch (const rpc_error& error) {
        failed(error.message);
    } catch (const json::exception& error) {
        failed(error.what());
    }
    return true;
}

void server::request(const json& id, const std::string& method, const json& params) {
    using handler = json (server::*)(const json&);
    static const std::map<std::string, handler, std::less<>> handlers = {
        {"textDocument/hover", &server::hover},
        {"textDocument/codeAction", &server::code_action},
        {"textDocument/formatting", &server::formatting},
        {"textDocument/completion", &server::completion},
    };
    try {
        if (method == "initialize") {
            if (initialized_) {
                throw rpc_error{INVALID_REQUEST, "initialize was sent before"};
            }
            respond(id, initialize(params));
            return;
        }
        if (!initialized_) {
            throw rpc_error{SERVER_NOT_INITIALIZED, "the server is not initialized"};
        }
        if (shut_down_) {
            throw rpc_error{INVALID_REQUEST, "the server is shutting down"};
        }
        if (method == "shutdown") {
            shut_down_ = true;
            respond(id, nullptr);
            return;
        }
        const auto found = handlers.find(method);
        if (found == handlers.end()) {
            throw rpc_error{METHOD_NOT_FOUND, "no method " + method};
        }
        respond(id, (this->*found->second)(params));
    } catch (const rpc_error& failed) {
        respond_error(id, failed.code, failed.message);
    } catch (const json::exception& failed) {
        respond_error(id, INVALID_PARAMS, failed.what());
    }
}

void server::notification(const std::string& method, json& params) {
    using handler = void (server::*)(json&);
    static const std::map<std::string, handler, std::less<>> handlers = {
        {"textDocument/didOpen", &server::did_open},
        {"textDocument/didChange", &server::did_change},
        {"textDocument/didClose", &server::did_close},
    };
    if (!initialized_ || shut_down_) {
        return; // dropped, as the protocol asks
    }
    if (method == "workspace/didChangeConfiguration") {
        configure(member(params, "settings"));
        for (const auto& [uri, unused] : findings_) {
            publish(uri, *documents_.find(uri));
        }
        return;
    }
    const auto found = handlers.find(method);
    if (found != handlers.end()) {
        (this->*found->second)(params);
    } else if (!method.starts_with("$/") && method != "initialized") {
        log_ << "maptool lsp: no notification " << method << ", ignored\n";
    }
}

json server::initialize(const json& params) {
    const json& capabilities = member(params, "capabilities");
    // UTF-8 where the client offers it, as the protocol's 3.17 or clangd's extension
    // (which Neovim 0.7 sends) ask for it; else UTF-16, the protocol's default.
    const json& offered = member(member(capabilities, "general"), "positionEncodings");
    const json& clangd_offered = member(capabilities, "offsetEncoding");
    const bool utf8 =
        offered.is_array() ? has_string(offered, "utf-8") : has_string(clangd_offered, "utf-8");
    client_.encoding = utf8 ? position_encoding::utf8 : position_encoding::utf16;
    const json& text_document = member(capabilities, "textDocument");
    const json& formats = member(member(text_document, "hover"), "contentFormat");
    client_.markdown = formats.is_array() && !formats.empty() && formats[0] == "markdown";
    client_.related_information =
        member(member(text_document, "publishDiagnostics"), "relatedInformation") == true;
    configure(member(params, "initializationOptions"));
    initialized_ = true;
    const char* encoding = utf8 ? "utf-8" : "utf-16";
    json result = {
        {"capabilities",
         {{"positionEncoding", encoding},
          {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
          {"hoverProvider", true},
          {"codeActionProvider", {{"codeActionKinds", {"quickfix", "source.fixAll"}}}},
          {"documentFormattingProvider", true},
          {"completionProvider", json::object()}}},
        {"serverInfo", {{"name", "maptool"}, {"version", MAPTOOL_VERSION}}},
    };
    if (clangd_offered.is_array()) {
        result["offsetEncoding"] = encoding;
    }
    return result;
}

// {"warnings": [...]}, or the same under "maptool"; the words of -W, with or without
// "-W". Without "warnings" the policy stays as it is.
void server::configure(const json& settings) {
    const json& own = member(settings, "maptool");
    const json& words = own.is_object() ? member(own, "warnings") : member(settings, "warnings");
    if (words.is_null()) {
        return;
    }
    if (!words.is_array() && !words.is_string()) {
        tell("window/showMessage", 2, "maptool: \"warnings\" must be a list of -W words");
        return;
    }
    warning_policy policy;
    for (const json& word : words.is_array() ? words : json::array({words})) {
        std::string value = word.is_string() ? word.get<std::string>() : word.dump();
        if (value.starts_with("-W")) {
            value.erase(0, 2);
        }
        if (const result<void> applied = apply_warning_option(policy, value); !applied) {
            tell("window/showMessage", 2, "maptool: " + applied.error().message);
        }
    }
    policy_ = policy;
}

document& server::named(const json& params, std::string& uri) {
    uri = string_at(member(params, "textDocument"), "uri");
    document* open = documents_.find(uri);
    if (open == nullptr) {
        throw rpc_error{INVALID_PARAMS, "the document " + uri + " is not open"};
    }
    return *open;
}

// The notifications' handlers take their params' texts rather than copy them: a document
// is held once, not once more for each step that passes it on.
void server::did_open(json& params) {
    if (!member(params, "textDocument").is_object()) {
        throw rpc_error{INVALID_PARAMS, "'textDocument' must be an object"};
    }
    json& item = params["textDocument"];
    const std::string uri = string_at(item, "uri");
    const json& version = member(item, "version");
    documents_.open(uri, string_taken(item, "text"),
                    version.is_number_integer() ? version.get<std::int64_t>() : 0);
    publish(uri, *documents_.find(uri));
}

void server::did_change(json& params) {
    std::string uri;
    document& open = named(params, uri);
    if (!member(params, "contentChanges").is_array()) {
        throw rpc_error{INVALID_PARAMS, "'contentChanges' must be a list"};
    }
    for (json& change : params["contentChanges"]) {
        const std::string text = string_taken(change, "text");
        if (change.contains("range")) {
            apply_edit(open.text, range_at(member(change, "range")), text, client_.encoding);
        } else {
            open.text.assign(text); // the whole text, in the memory it had
        }
    }
    const json& version = member(member(params, "textDocument"), "version");
    if (version.is_number_integer()) {
        open.version = version.get<std::int64_t>();
    }
    publish(uri, open);
}

void server::did_close(json& params) {
    const std::string uri = string_at(member(params, "textDocument"), "uri");
    documents_.close(uri);
    if (const auto found = findings_.find(uri); found != findings_.end()) {
        findings_.erase(found);
        // Its diagnostics go with it.
        notify("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", json::array()}});
    }
}

json server::diagnostic_json(const std::string& uri, text_locator& locate, const finding& found) {
    json diagnostic = {
        {"range", range_json(checker_range(locate, found.line, found.column, found.span))},
        {"severity", found.level == severity::error ? 1 : 2},
        {"code", rule_of(found)},
        {"source", "maptool"},
        {"message", found.message},
    };
    if (found.notes.empty()) {
        return diagnostic;
    }
    if (!client_.related_information) {
        for (const diagnostic_note& note : found.notes) {
            diagnostic["message"] =
                diagnostic["message"].get<std::string>() + "\nnote: " + note.text;
        }
        return diagnostic;
    }
    json related = json::array();
    for (const diagnostic_note& note : found.notes) {
        related.push_back(
            {{"location",
              {{"uri", uri},
               {"range", range_json(checker_range(locate, note.line, note.column, note.span))}}},
             {"message", note.text}});
    }
    diagnostic["relatedInformation"] = std::move(related);
    return diagnostic;
}

void server::publish(const std::string& uri, const document& open) {
    std::vector<finding>& found = findings_[uri];
    found = text_findings(open.text, policy_);
    text_locator locate(open.text, client_.encoding);
    json diagnostics = json::array();
    for (const finding& each : found) {
        diagnostics.push_back(diagnostic_json(uri, locate, each));
    }
    notify("textDocument/publishDiagnostics",
           {{"uri", uri}, {"version", open.version}, {"diagnostics", std::move(diagnostics)}});
}

json server::hover(const json& params) {
    std::string uri;
    const document& open = named(params, uri);
    text_locator locate(open.text, client_.encoding);
    const line_at line = line_of(open.text, locate, position_at(member(params, "position")));
    if (line.beyond) {
        return nullptr;
    }
    const text_position start = locate.position(line.start);
    const bool markdown = client_.markdown;
    std::string text;
    if (const std::optional<entry_facts> entry = entry_on_line(line.text)) {
        text = hover_text(*entry, markdown);
    }
    // The findings on the line, whose numbers count lines as the checker does.
    for (const finding& each : findings_.find(uri)->second) {
        if (each.line != 0 &&
            locate.position(locate.checker_offset(each.line, 1)).line == start.line) {
            text += (text.empty() ? "" : markdown ? "\n\n" : "\n") + hover_text(each, markdown);
        }
    }
    if (text.empty()) {
        return nullptr;
    }
    return {{"contents", {{"kind", markdown ? "markdown" : "plaintext"}, {"value", text}}},
            {"range", range_json({start, locate.position(line.start + line.text.size())})}};
}

json server::edits_json(std::string_view text, const std::vector<text_edit>& edits) {
    text_locator locate(text, client_.encoding);
    json list = json::array();
    for (const text_edit& edit : edits) {
        const text_position from = locate.position(edit.from);
        list.push_back(
            {{"range", range_json({from, locate.position(edit.to)})}, {"newText", edit.text}});
    }
    return list;
}

json server::code_action(const json& params) {
    std::string uri;
    const document& open = named(params, uri);
    const text_range asked = range_at(member(params, "range"));
    const json& only = member(member(params, "context"), "only");
    // A kind is wanted when no list is given, or when the list names it or a kind above it.
    const auto wanted = [&](std::string_view kind) {
        return !only.is_array() || std::any_of(only.begin(), only.end(), [&](const json& each) {
            if (!each.is_string()) {
                return false;
            }
            const std::string name = each.get<std::string>();
            return kind == name || kind.starts_with(name + ".");
        });
    };
    const auto before = [](text_position a, text_position b) {
        return a.line < b.line || (a.line == b.line && a.character < b.character);
    };
    json actions = json::array();
    text_locator locate(open.text, client_.encoding);
    if (wanted("quickfix")) {
        for (const finding& found : findings_.find(uri)->second) {
            const text_range place = checker_range(locate, found.line, found.column, found.span);
            if (found.line == 0 || found.fixes.empty() || before(asked.end, place.start) ||
                before(place.end, asked.start)) {
                continue;
            }
            const json diagnostic = diagnostic_json(uri, locate, found);
            for (const fix& option : found.fixes) {
                json edits = json::array();
                for (const replacement& edit : option.edits) {
                    edits.push_back({{"range", range_json(checker_range(locate, edit.line,
                                                                        edit.column, edit.span))},
                                     {"newText", edit.text}});
                }
                json action = {
                    {"title", option.safe ? option.description : option.description + " (unsafe)"},
                    {"kind", "quickfix"},
                    {"diagnostics", json::array({diagnostic})},
                    {"edit", {{"changes", {{uri, std::move(edits)}}}}}};
                if (option.safe) {
                    action["isPreferred"] = true;
                }
                actions.push_back(std::move(action));
            }
        }
    }
    if (wanted("source.fixAll")) {
        const std::vector<text_edit> edits =
            line_edits(open.text, fixed_text(open.text, fix_choice::safe));
        if (!edits.empty()) {
            actions.push_back({{"title", "Make every certain repair (maptool check --fix)"},
                               {"kind", "source.fixAll"},
                               {"edit", {{"changes", {{uri, edits_json(open.text, edits)}}}}}});
        }
    }
    return actions;
}

// Findings are not wanted here: the diagnostics show them.
class discard : public renderer {
  public:
    void render(const finding& /*found*/) override {}
    void finish(const report_counts& /*counts*/) override {}
};

json server::formatting(const json& params) {
    std::string uri;
    const document& open = named(params, uri);
    std::string formatted;
    discard none;
    diagnostics report(policy_, none);
    if (!format_dsc_text(open.text, uri, format_options{}, report,
                         [&](std::string_view part) { formatted += part; })) {
        tell("window/logMessage", 3,
             "maptool: " + uri + " is not formatted: mapmaker would refuse it as it is");
        return json::array();
    }
    return edits_json(open.text, line_edits(open.text, formatted));
}

json server::completion(const json& params) {
    std::string uri;
    const document& open = named(params, uri);
    text_locator locate(open.text, client_.encoding);
    const line_at place = line_of(open.text, locate, position_at(member(params, "position")));
    const std::size_t start = place.start;
    const std::size_t cursor = place.cursor;
    const std::string_view line = place.text;
    const completion_spot spot = completion_at(line, cursor - start);
    json items = json::array();
    bool cut = false;
    const auto item = [&](const std::string& label, std::size_t to, std::string text,
                          std::size_t rank) {
        const text_range replaced = {locate.position(start + spot.start),
                                     locate.position(start + to)};
        return json{{"label", label},
                    {"kind", 12}, // a value
                    {"sortText", hex_digits(static_cast<std::uint32_t>(rank), 4)},
                    {"filterText", label},
                    {"textEdit", {{"range", range_json(replaced)}, {"newText", std::move(text)}}}};
    };
    if (spot.place == completion_place::comment) {
        const std::string name = char_name(spot.code);
        if (!name.empty()) {
            items.push_back(item(name, line.size(), name, 0));
        }
    } else if (spot.place == completion_place::code) {
        const name_matches matches =
            codes_named(line.substr(spot.start, cursor - start - spot.start), COMPLETION_LIMIT);
        cut = matches.cut;
        for (const std::uint32_t code : matches.codes) {
            const std::string name = char_name(code);
            const std::string digits = hex_digits(code, 4);
            json each = item(name, cursor - start,
                             spot.has_comment ? digits : digits + " // " + name, items.size());
            each["detail"] = "U+" + digits;
            items.push_back(std::move(each));
        }
    }
    return {{"isIncomplete", cut}, {"items", std::move(items)}};
}

} // namespace

int serve_lsp(std::istream& in, std::ostream& out, std::ostream& log) {
    server serving(out, log);
    frame_reader reader(in);
    frame next;
    while (true) {
        reader.read(next);
        switch (next.status) {
        case frame_status::message:
            if (!serving.take(next.body)) {
                return serving.exit_status();
            }
            break;
        case frame_status::bad_header:
            serving.bad_header(next.problem);
            break;
        case frame_status::cut:
            log << "maptool lsp: the input ended within a message\n";
            return 1;
        case frame_status::end:
            log << "maptool lsp: the input ended without exit\n";
            return 1;
        }
    }
}
