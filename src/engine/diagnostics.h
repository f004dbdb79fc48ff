// The diagnostics engine: findings come in, the -W policy decides which are shown and
// which count as errors, the counts are kept, and a renderer writes the finished
// findings out.
#pragma once

#include "engine/findings.h"
#include "engine/result.h"

#include <bitset>
#include <cstdint>
#include <string_view>

// Which warnings are shown, and which count as errors.
struct warning_policy {
    std::bitset<WARNING_CLASSES> enabled = default_enabled();
    std::bitset<WARNING_CLASSES> as_error;
    bool all_as_error = false;

    static std::bitset<WARNING_CLASSES> default_enabled();
};

// Applies one -W option's value: all, error, error=CLASS, CLASS or no-CLASS.
result<void> apply_warning_option(warning_policy& policy, std::string_view value);

struct report_counts {
    std::uint64_t errors = 0;
    std::uint64_t warnings = 0;
    std::uint64_t files = 0;
};

// Writes finished findings somewhere: as text for people, as JSON for programs.
class renderer {
  public:
    virtual ~renderer() = default;
    virtual void render(const finding& found) = 0;
    // After the last finding.
    virtual void finish(const report_counts& counts) = 0;
};

class diagnostics {
  public:
    diagnostics(warning_policy policy, renderer& out) : policy_(policy), out_(out) {}

    // Drops a warning whose class is off, makes it an error when the policy says so,
    // counts it and renders it.
    void report(finding found);
    void count_file() { ++counts_.files; }

    const report_counts& counts() const { return counts_; }
    // trouble for an error, findings for a warning, else success.
    exit_status status() const;
    void finish() { out_.finish(counts_); }

  private:
    warning_policy policy_;
    renderer& out_;
    report_counts counts_;
};
