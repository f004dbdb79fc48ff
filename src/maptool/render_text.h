// Findings as compilers print them: "file:line:column: warning: message [-Wclass]", the
// line with the place underlined, the notes, and a closing count.
#pragma once

#include "engine/diagnostics.h"

#include <cstdio>
#include <string>

class text_renderer : public renderer {
  public:
    // summary: end with "N errors and N warnings in N files".
    text_renderer(std::FILE* out, bool color, bool summary)
        : out_(out), color_(color), summary_(summary) {}

    void render(const finding& found) override;
    void omitted(std::string_view file, const report_counts& hidden) override;
    void finish(const report_counts& counts) override;

  private:
    std::FILE* out_;
    bool color_;
    bool summary_;
};

// The closing line of a text report: "2 errors and 3 warnings in 1 file".
std::string summary_line(const report_counts& counts);
