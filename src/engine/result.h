// How everything in maptool that can fail says so: a result holds a value or the failure
// that kept it from being made, and the verbs end with one of three exit statuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

// 0: nothing found, the work done; 1: findings that are warnings, or differences;
// 2: errors, or trouble that kept the work from being done.
enum class exit_status : std::uint8_t { success = 0, findings = 1, trouble = 2 };

// The worse of two statuses, for a run over several files.
constexpr exit_status worse(exit_status a, exit_status b) {
    return a > b ? a : b;
}

// Why something failed, in words that follow "error: ". A failure whose findings were
// already reported, one by one, has no words of its own.
struct failure {
    std::string message;

    static failure reported() { return {}; }
    bool already_reported() const { return message.empty(); }
};

template <typename T> class [[nodiscard]] result {
  public:
    result(T value) : state_(std::move(value)) {}
    result(failure why) : state_(std::move(why)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }

    const failure& error() const { return std::get<1>(state_); }

  private:
    std::variant<T, failure> state_;
};

template <> class [[nodiscard]] result<void> {
  public:
    result() = default;
    result(failure why) : failure_(std::move(why)) {}

    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }

    const failure& error() const { return *failure_; }

  private:
    std::optional<failure> failure_;
};
