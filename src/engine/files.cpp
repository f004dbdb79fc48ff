#include "engine/files.h"

#include "platform/atomic_file.h"
#include "platform/file_identity.h"
#include "platform/files.h"

#include <array>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

std::string system_reason(int error) {
    if (error == ENOMEM) {
        throw_out_of_memory();
    }
    return error_text(error);
}

void input_closer::operator()(std::FILE* file) const {
    if (file != stdin) {
        std::fclose(file);
    }
}

result<input_file> open_input(const std::string& path) {
    if (path == "-") {
        set_binary(stdin);
        return input_file(stdin);
    }
    input_file file(open_file(path, "rb"));
    if (!file) {
        return failure{"cannot open the file: " + system_reason(errno)};
    }
    return file;
}

result<input_file> rewindable(input_file file) {
    if (is_regular_file(descriptor_of(file.get()))) {
        return file;
    }
    errno = 0;
    input_file copy(temporary_stream());
    if (!copy) {
        return failure{"cannot make a scratch copy of the file: " + system_reason(errno)};
    }
    std::vector<char> buffer(std::size_t{1} << 16);
    std::uint64_t copied = 0;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0;) {
        copied += got;
        if (copied > STREAMED_SOURCE_MAX) {
            return failure{"more than " + std::to_string(STREAMED_SOURCE_MAX >> 20) +
                           " MiB from a pipe or device, more than any table holds"};
        }
        if (std::fwrite(buffer.data(), 1, got, copy.get()) != got) {
            // A full scratch folder ends the reading at once.
            return failure{"cannot make a scratch copy of the file: " + system_reason(errno)};
        }
    }
    if (std::ferror(file.get()) != 0) {
        return failure{"cannot read the file: " + system_reason(errno)};
    }
    if (std::fflush(copy.get()) != 0) {
        return failure{"cannot make a scratch copy of the file: " + system_reason(errno)};
    }
    std::rewind(copy.get());
    return copy;
}

std::string display_name(const std::string& path) {
    return path == "-" ? "<stdin>" : path;
}

bool is_the_file(std::FILE* file, const std::string& path) {
    return same_file_as_path(descriptor_of(file), path);
}

bool is_same_file(const std::string& input, const std::string& output) {
    if (input == "-" || output == "-" || output.empty()) {
        return false;
    }
    std::error_code unknown;
    return std::filesystem::equivalent(path_from_utf8(input), path_from_utf8(output), unknown);
}

result<written_file> replace_file_with(const std::string& path,
                                       const std::function<bool(std::FILE*)>& write) {
    atomic_file file(path);
    int error = file.open();
    if (error == 0) {
        errno = 0;
        if (!write(file.stream())) {
            error = errno != 0 ? errno : EIO;
        } else {
            error = file.commit();
        }
    }
    if (error != 0) {
        return failure{system_reason(error)};
    }
    return written_file{file.written_in_place()};
}

void report_in_place(diagnostics& report, const std::string& path, const written_file& how) {
    if (how.in_place) {
        report.report(file_warning(path, "its folder takes no temporary file: written in "
                                         "place, not replaced as a whole"));
    }
}

result<written_file> write_output(const std::string& path, std::string_view bytes) {
    if (!path.empty() && path != "-") {
        return replace_file_with(path, [bytes](std::FILE* file) {
            return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        });
    }
    write_text(stdout, bytes);
    if (const int error = standard_output_error(); error != 0) {
        return failure{"cannot write to standard output: " + system_reason(error)};
    }
    return written_file{};
}

int standard_output_error() {
    errno = 0;
    bool failed = std::fflush(stdout) != 0;
    int error = errno;
    if (!failed && std::ferror(stdout) != 0) {
        // The C library drops what it could not write, and the reason with it: one byte
        // more, on an output that is incomplete anyway, asks the system again.
        failed = true;
        std::clearerr(stdout);
        errno = 0;
        error = std::fputc('\n', stdout) == EOF || std::fflush(stdout) != 0 ? errno : 0;
    }
    std::clearerr(stdout);
    return !failed ? 0 : error != 0 ? error : EIO;
}
