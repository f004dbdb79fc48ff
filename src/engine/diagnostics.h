// The diagnostics engine: findings come in, the -W policy decides which are shown and
// which count as errors, the counts are kept, and a renderer writes the finished
// findings out.
#pragma once

#include "engine/findings.h"
#include "engine/result.h"

#include <bitset>
#include <cstdint>
#include <string>
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
    // After a file's findings, when the error limit left some out: the text report says so
    // in one line; a report for programs leaves them out.
    virtual void omitted(std::string_view /*file*/, const report_counts& /*hidden*/) {}
    // After the last finding.
    virtual void finish(const report_counts& counts) = 0;
};

class diagnostics {
  public:
    diagnostics(warning_policy policy, renderer& out) : policy_(policy), out_(out) {}

    // Drops a warning whose class is off, makes it an error when the policy says so,
    // counts it and renders it, unless the file's error limit is reached.
    void report(finding found);
    // A new file starts; the findings the limit left out of the last one are told.
    void count_file();

    // After `errors` errors in a file, its further findings are counted but not shown, as
    // gcc's -fmax-errors; 0 for no limit.
    void limit_errors(std::uint64_t errors) { limit_ = errors; }

    const report_counts& counts() const { return counts_; }
    // trouble for an error, findings for a warning, else success.
    exit_status status() const;
    void finish();

  private:
    void tell_omitted();

    warning_policy policy_;
    renderer& out_;
    report_counts counts_;
    std::uint64_t limit_ = 0;
    std::uint64_t file_errors_ = 0; // shown in the current file
    report_counts hidden_;          // left out of the current file
    std::string hidden_file_;
};
