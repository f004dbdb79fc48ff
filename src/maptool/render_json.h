// Findings as a JSON array, one object per finding, written as they come, so that a
// file with many findings needs no more memory than one with a few.
#pragma once

#include "engine/diagnostics.h"

#include <cstdio>

class json_renderer : public renderer {
  public:
    explicit json_renderer(std::FILE* out) : out_(out) {}

    void render(const finding& found) override;
    void finish(const report_counts& counts) override;

  private:
    std::FILE* out_;
    bool any_ = false;
};
