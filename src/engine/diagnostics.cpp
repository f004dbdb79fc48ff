#include "engine/diagnostics.h"

std::bitset<WARNING_CLASSES> warning_policy::default_enabled() {
    std::bitset<WARNING_CLASSES> enabled;
    enabled.set();
    enabled.reset(static_cast<std::size_t>(warning_class::ascii));
    enabled.reset(static_cast<std::size_t>(warning_class::unmapped));
    return enabled;
}

result<void> apply_warning_option(warning_policy& policy, std::string_view value) {
    if (value == "all") {
        policy.enabled.set();
        return {};
    }
    if (value == "error") {
        policy.all_as_error = true;
        return {};
    }
    const std::string_view option = value;
    bool on = true;
    bool error = false;
    if (value.starts_with("no-")) {
        on = false;
        value.remove_prefix(3);
    } else if (value.starts_with("error=")) {
        error = true;
        value.remove_prefix(6);
    }
    const std::optional<warning_class> which = class_named(value);
    if (!which) {
        return failure{"unknown warning option '-W" + std::string(option) + "'; the classes are " +
                       class_names(", ")};
    }
    const auto index = static_cast<std::size_t>(*which);
    policy.enabled[index] = on;
    if (error) {
        policy.as_error[index] = true;
    }
    return {};
}

void diagnostics::report(finding found) {
    if (found.which) {
        const auto index = static_cast<std::size_t>(*found.which);
        if (!policy_.enabled[index]) {
            return;
        }
        found.level =
            policy_.all_as_error || policy_.as_error[index] ? severity::error : severity::warning;
    }
    const bool error = found.level == severity::error;
    ++(error ? counts_.errors : counts_.warnings);
    if (limit_ != 0 && file_errors_ == limit_) {
        ++(error ? hidden_.errors : hidden_.warnings);
        hidden_file_ = found.file;
        return;
    }
    file_errors_ += error ? 1 : 0;
    out_.render(found);
}

void diagnostics::tell_omitted() {
    if (hidden_.errors != 0 || hidden_.warnings != 0) {
        out_.omitted(hidden_file_, hidden_);
    }
    hidden_ = {};
    file_errors_ = 0;
}

void diagnostics::count_file() {
    tell_omitted();
    ++counts_.files;
}

void diagnostics::finish() {
    tell_omitted();
    out_.finish(counts_);
}

exit_status diagnostics::status() const {
    return counts_.errors != 0     ? exit_status::trouble
           : counts_.warnings != 0 ? exit_status::findings
                                   : exit_status::success;
}
