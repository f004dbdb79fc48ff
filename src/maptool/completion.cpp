#include "maptool/completion.h"
#include "engine/table_names.h"

#include "engine/findings.h"
#include "engine/which.h"
#include "maptool/options.h"
#include "platform/files.h"

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

// The extensions of the files a table comes in, as a pattern's alternatives: "dsc|map|...".
const std::string TABLE_EXTENSIONS = "dsc|map|ucm|txt|TXT|gz";

// Every -W value: all, extra, error, and CLASS, no-CLASS, error=CLASS for each class.
std::vector<std::string> warning_values() {
    std::vector<std::string> values = {"all", "extra", "error"};
    for (std::size_t i = 0; i < WARNING_CLASSES; ++i) {
        const std::string name(class_name(static_cast<warning_class>(i)));
        values.insert(values.end(), {name, "no-" + name, "error=" + name});
    }
    return values;
}

std::vector<std::string> verb_names(const std::deque<verb_declaration>& verbs) {
    std::vector<std::string> names;
    for (const verb_declaration& verb : verbs) {
        if (!verb.hidden) {
            names.push_back(verb.name);
        }
    }
    return names;
}

std::string spaced(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

// The text between single quotes in a shell script.
std::string single_quoted(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// How each shell offers what a value takes, by the value's name (see option_declaration).
struct offer {
    std::string_view value;
    std::string_view bash; // commands in _maptool_value
    std::string_view zsh;  // an action of _arguments
    std::string_view fish; // arguments of complete
};

const offer OFFERS[] = {
    {"TABLE", "_maptool_table", "_maptool_table", "-x -a '(__maptool_table)'"},
    {"DSC", "_filedir dsc", "_files -g '*.dsc(-.)'", "-x -a '(__maptool_files dsc)'"},
    {"FILE", "_filedir", "_files", "-r -F"},
    {"DIR", "_filedir -d", "_files -/", "-x -a '(__fish_complete_directories)'"},
    {"CHARSET", "_maptool_ask charset", "_maptool_ask charset", "-x -a '(__maptool_ask charset)'"},
};

const offer* offer_for(const option_declaration& declared) {
    const auto found =
        std::find_if(std::begin(OFFERS), std::end(OFFERS),
                     [&declared](const offer& each) { return declared.value == each.value; });
    return found == std::end(OFFERS) ? nullptr : found;
}

// The words a value is one of: a choice's, the -W values, the verbs; none for the others.
std::vector<std::string> listed(const option_declaration& declared,
                                const std::deque<verb_declaration>& verbs) {
    if (declared.value == "CLASS") {
        return warning_values();
    }
    return declared.value == "VERB" ? verb_names(verbs) : declared.choices;
}

// Whether the option takes the next word (or =VALUE) as its value.
bool takes_value(const option_declaration& declared) {
    return !declared.is_word && !declared.value.empty() && !declared.value_optional;
}

// --- bash -----------------------------------------------------------------------------

// What a word takes as _maptool_value knows it: a value's name, or '{the words}'.
std::string bash_kind(const option_declaration& declared,
                      const std::deque<verb_declaration>& verbs) {
    const std::vector<std::string> words = listed(declared, verbs);
    if (!words.empty()) {
        return "'{" + spaced(words) + "}'";
    }
    return offer_for(declared) == nullptr ? "NONE" : declared.value;
}

std::string bash_script(const std::deque<verb_declaration>& verbs) {
    std::string text = "# bash completion for maptool, written by `maptool completion bash`.\n"
                       "\n"
                       "# What maptool itself offers for the word: table or charset.\n"
                       "_maptool_ask() {\n"
                       "    local tool=${words[0]} IFS=$'\\n'\n"
                       "    command -v \"$tool\" >/dev/null 2>&1 || tool=maptool\n"
                       "    COMPREPLY+=($(\"$tool\" completion \"$1\" \"$cur\" 2>/dev/null))\n"
                       "}\n"
                       "\n"
                       "_maptool_table() {\n"
                       "    _filedir '@(" +
                       TABLE_EXTENSIONS +
                       ")'\n"
                       "    _maptool_ask table\n"
                       "}\n"
                       "\n"
                       "# The candidates for a word that takes $1.\n"
                       "_maptool_value() {\n"
                       "    case $1 in\n";
    for (const offer& each : OFFERS) {
        text += "    " + std::string(each.value) + ") " + std::string(each.bash) + " ;;\n";
    }
    text += "    '{'*) local choices=${1#\\{}; COMPREPLY=($(compgen -W \"${choices%\\}}\" -- "
            "\"$cur\")) ;;\n"
            "    esac\n"
            "}\n"
            "\n"
            "_maptool() {\n"
            "    local cur prev words cword split\n"
            "    _init_completion -s -n : || return\n"
            "    if ((cword == 1)); then\n"
            "        COMPREPLY=($(compgen -W " +
            single_quoted(spaced(verb_names(verbs)) + " -h --help -V --version") +
            " -- \"$cur\"))\n"
            "        return\n"
            "    fi\n"
            "    # The verb's options, what those with a value take, and what its words take.\n"
            "    local options=''\n"
            "    local -a kinds=()\n"
            "    local -A values=()\n"
            "    case ${words[1]} in\n";
    for (const verb_declaration& verb : verbs) {
        if (verb.hidden) {
            continue;
        }
        std::vector<std::string> options;
        std::string values;
        std::vector<std::string> kinds;
        for (const option_declaration& declared : verb.options) {
            if (declared.is_word) {
                kinds.push_back(bash_kind(declared, verbs));
                continue;
            }
            for (const std::string& name : declared.names) {
                options.push_back(name.starts_with("--") && takes_value(declared) ? name + "="
                                                                                  : name);
                if (takes_value(declared)) {
                    values += " [" + name + "]=" + bash_kind(declared, verbs);
                }
            }
        }
        text += "    " + verb.name + ")\n        options=" + single_quoted(spaced(options)) +
                "\n        values=(" + values + " )\n        kinds=(" + spaced(kinds) + ") ;;\n";
    }
    text += "    *) return ;;\n"
            "    esac\n"
            "    if [[ -v values[$prev] ]]; then\n"
            "        _maptool_value \"${values[$prev]}\"\n"
            "    elif [[ $cur == -W* && -v values[-W] ]]; then\n"
            "        cur=${cur#-W} _maptool_value \"${values[-W]}\"\n"
            "        COMPREPLY=(\"${COMPREPLY[@]/#/-W}\")\n"
            "    elif [[ $cur == -* ]]; then\n"
            "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
            "        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace\n"
            "    else\n"
            "        local kind\n"
            "        for kind in \"${kinds[@]}\"; do\n"
            "            _maptool_value \"$kind\"\n"
            "        done\n"
            "    fi\n"
            "    [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *: ]] && compopt -o nospace\n"
            "    __ltrim_colon_completions \"$cur\"\n"
            "}\n"
            "complete -F _maptool maptool\n";
    return text;
}

// --- zsh ------------------------------------------------------------------------------

// A help text as _arguments shows it between brackets.
std::string zsh_description(std::string_view help) {
    std::string text;
    for (const char c : help) {
        if (c == '[' || c == ']' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return text;
}

// "(a b c)", a list _arguments offers.
std::string zsh_list(const std::vector<std::string>& words) {
    std::string list = spaced(words);
    list.insert(0, 1, '(');
    return list + ')';
}

std::string zsh_action(const option_declaration& declared,
                       const std::deque<verb_declaration>& verbs) {
    const std::vector<std::string> words = listed(declared, verbs);
    if (!words.empty()) {
        return zsh_list(words);
    }
    const offer* found = offer_for(declared);
    return found == nullptr ? " " : std::string(found->zsh);
}

std::string zsh_script(const std::deque<verb_declaration>& verbs) {
    std::string text = "#compdef maptool\n"
                       "# zsh completion for maptool, written by `maptool completion zsh`.\n"
                       "\n"
                       "# What maptool itself offers for the word: table or charset.\n"
                       "_maptool_ask() {\n"
                       "  local -a found\n"
                       "  found=(${(f)\"$(_call_program candidates ${(q)tool} completion $1 "
                       "${(q)PREFIX} 2>/dev/null)\"})\n"
                       "  compadd -U -Q -a found\n"
                       "}\n"
                       "\n"
                       "_maptool_table() {\n"
                       "  _files -g '*.(" +
                       TABLE_EXTENSIONS +
                       ")(-.)'\n"
                       "  _maptool_ask table\n"
                       "}\n"
                       "\n"
                       "_maptool() {\n"
                       "  local tool=$words[1]\n"
                       "  local -a verbs=(\n";
    for (const verb_declaration& verb : verbs) {
        if (!verb.hidden) {
            text += "    " + single_quoted(verb.name + ":" + verb.description) + "\n";
        }
    }
    text += "  )\n"
            "  if (( CURRENT == 2 )); then\n"
            "    _describe -t verbs verb verbs\n"
            "    compadd -- -h --help -V --version\n"
            "    return\n"
            "  fi\n"
            "  local verb=$words[2]\n"
            "  shift words\n"
            "  (( CURRENT-- ))\n"
            "  case $verb in\n";
    for (const verb_declaration& verb : verbs) {
        if (verb.hidden) {
            continue;
        }
        text += "  (" + verb.name + ")\n    _arguments -s -S :";
        for (const option_declaration& declared : verb.options) {
            const std::string action = zsh_action(declared, verbs);
            if (declared.is_word) {
                const std::string start = declared.many ? "*:" : declared.required ? ":" : "::";
                text += " \\\n      " + single_quoted(start + declared.names[0] + ":" + action);
                continue;
            }
            for (const std::string& name : declared.names) {
                std::string form = name;
                if (declared.value_optional) {
                    form += "=-";
                } else if (!declared.value.empty()) {
                    form += name.starts_with("--") ? "=" : "+";
                }
                std::string one =
                    (declared.many ? "*" : "") + form + "[" + zsh_description(declared.help) + "]";
                if (!declared.value.empty()) {
                    one += ":" + declared.value + ":" + action;
                }
                text += " \\\n      " + single_quoted(one);
            }
        }
        text += "\n    ;;\n";
    }
    text += "  esac\n"
            "}\n"
            "\n"
            "_maptool \"$@\"\n";
    return text;
}

// --- fish -----------------------------------------------------------------------------

std::string fish_script(const std::deque<verb_declaration>& verbs) {
    std::string text =
        "# fish completion for maptool, written by `maptool completion fish`.\n"
        "\n"
        "function __maptool_verb_is -d 'Whether the verb typed is $argv[1]'\n"
        "    set -l typed (commandline -opc)\n"
        "    test (count $typed) -ge 2; and test \"$typed[2]\" = $argv[1]\n"
        "end\n"
        "\n"
        "function __maptool_no_verb -d 'Whether no verb is typed yet'\n"
        "    test (count (commandline -opc)) -eq 1\n"
        "end\n"
        "\n"
        "function __maptool_ask -d 'What maptool offers for the word: table or charset'\n"
        "    set -l tool (commandline -opc)[1]\n"
        "    command -q $tool; or set tool maptool\n"
        "    $tool completion $argv[1] (commandline -ct) 2>/dev/null\n"
        "end\n"
        "\n"
        "function __maptool_files -d 'Folders, and files whose extension is one of $argv[1]'\n"
        "    for file in (commandline -ct)*\n"
        "        if test -d $file\n"
        "            echo $file/\n"
        "        else if string match -q -r -- '\\.('$argv[1]')$' $file\n"
        "            echo $file\n"
        "        end\n"
        "    end\n"
        "end\n"
        "\n"
        "function __maptool_table -d 'Table files, folders and what maptool offers'\n"
        "    __maptool_files '" +
        TABLE_EXTENSIONS +
        "'\n"
        "    __maptool_ask table\n"
        "end\n"
        "\n"
        "complete -c maptool -f\n"
        "complete -c maptool -n __maptool_no_verb -s h -l help -d 'Show the verbs'\n"
        "complete -c maptool -n __maptool_no_verb -s V -l version -d \"Show maptool's "
        "version\"\n";
    for (const verb_declaration& verb : verbs) {
        if (verb.hidden) {
            continue;
        }
        text += "\n# " + verb.name + "\ncomplete -c maptool -n __maptool_no_verb -a " + verb.name +
                " -d " + single_quoted(verb.description) + "\n";
        const std::string start = "complete -c maptool -n '__maptool_verb_is " + verb.name + "'";
        for (const option_declaration& declared : verb.options) {
            std::string line = start;
            if (!declared.is_word) {
                for (const std::string& name : declared.names) {
                    line += (name.starts_with("--") ? " -l " + name.substr(2)
                                                    : " -s " + name.substr(1));
                }
            }
            if (declared.is_word || takes_value(declared)) {
                // Files only where the value is one.
                const std::vector<std::string> words = listed(declared, verbs);
                const offer* found = offer_for(declared);
                if (!words.empty()) {
                    line += " -x -a " + single_quoted(spaced(words));
                } else if (found != nullptr) {
                    line += ' ';
                    line += found->fish;
                }
            }
            text += line + " -d " + single_quoted(declared.help) + "\n";
        }
    }
    return text;
}

bool starts_with_folded(std::string_view text, std::string_view start) {
    return text.size() >= start.size() &&
           std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

std::string completion_script(const std::deque<verb_declaration>& verbs, std::string_view shell) {
    if (shell == "bash") {
        return bash_script(verbs);
    }
    if (shell == "zsh") {
        return zsh_script(verbs);
    }
    if (shell == "fish") {
        return fish_script(verbs);
    }
    return "";
}

std::vector<std::string> table_candidates(std::string_view word, const std::string& folder,
                                          const std::vector<std::string>& charsets) {
    const std::string_view prefix = "iconv:";
    std::vector<std::string> found;
    if (starts_with_folded(word, prefix)) {
        for (const std::string& name : charsets) {
            if (starts_with_folded(name, word.substr(prefix.size()))) {
                found.push_back(std::string(prefix) + name);
            }
        }
        return found;
    }
    if (!word.empty()) {
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(path_from_utf8(folder), error)) {
            if (starts_with_folded(utf8_from_path(entry.path().filename()), word)) {
                found.push_back(utf8_from_path(entry.path()));
            }
        }
        std::sort(found.begin(), found.end());
    }
    if (!charsets.empty() && starts_with_folded(prefix, word)) {
        found.emplace_back(prefix);
    }
    return found;
}

void add_completion(command_line& line) {
    struct completion_words {
        std::string what;
        std::string word;
    };
    auto asked = std::make_shared<completion_words>();
    line.verb("completion", "Shell completion: the script, or the candidates for a word", true)
        .word("WHAT", asked->what, "bash, zsh or fish; or table or charset", true)
        .word("WORD", asked->word, "The word typed so far", false)
        .run([&line, asked] {
            std::vector<std::string> candidates;
            if (asked->what == "table" || asked->what == "charset") {
                const result<std::vector<std::string>> charsets = iconv_charsets();
                const std::vector<std::string> names =
                    charsets ? *charsets : std::vector<std::string>();
                if (asked->what == "table") {
                    candidates = table_candidates(asked->word, bundled_tables_folder(), names);
                } else {
                    std::copy_if(names.begin(), names.end(), std::back_inserter(candidates),
                                 [&asked](const std::string& name) {
                                     return starts_with_folded(name, asked->word);
                                 });
                }
                std::string text;
                for (const std::string& candidate : candidates) {
                    text += candidate + "\n";
                }
                write_text(stdout, text);
                return exit_status::success;
            }
            const std::string script = completion_script(line.verbs(), asked->what);
            if (script.empty()) {
                throw usage_error{"'" + asked->what +
                                  "' is none of bash, zsh, fish, table, charset"};
            }
            write_text(stdout, script);
            return exit_status::success;
        });
}
