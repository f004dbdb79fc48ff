// Findings as one SARIF 2.1.0 log, the form CI systems read to show findings on the lines
// of a change: a rule for every warning class and error kind, a result for each finding
// with its region, its notes as related locations and its fixes. Results are written as
// they come, so that many findings need no more memory than a few.
#pragma once

#include "engine/diagnostics.h"

#include <cstdio>

class sarif_renderer : public renderer {
  public:
    explicit sarif_renderer(std::FILE* out) : out_(out) {}

    void render(const finding& found) override;
    void finish(const report_counts& counts) override;

  private:
    void start();

    std::FILE* out_;
    bool started_ = false;
    bool any_ = false;
};
