// Shell completion for bash, zsh and fish, written from the verbs as declared, so that it
// offers what the parser takes and nothing else. What depends on the machine (the tables
// installed, iconv's names) is asked of maptool itself as the user presses Tab.
#pragma once

#include "maptool/command_line.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

// The hidden verb: `maptool completion bash|zsh|fish` writes the script;
// `maptool completion table|charset WORD` the candidates for a word.
void add_completion(command_line& line);

// The completion script for shell ("bash", "zsh" or "fish"), "" for another.
std::string completion_script(const std::deque<verb_declaration>& verbs, std::string_view shell);

// What a table word may become, besides files: iconv:NAME for each charset when the word
// starts with "iconv:", else the tables in folder whose file name starts with the word
// (by their whole path) and "iconv:" itself. Letter case does not matter.
std::vector<std::string> table_candidates(std::string_view word, const std::string& folder,
                                          const std::vector<std::string>& charsets);
