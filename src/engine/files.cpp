#include "engine/files.h"

#include "platform/atomic_file.h"
#include "platform/file_identity.h"
#include "platform/files.h"

#include <array>
#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

std::string system_reason(int error) {
    if (error == ENOMEM) {
        throw std::bad_alloc();
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
    input_file copy(temporary_stream());
    if (!copy) {
        return failure{"cannot read the file"};
    }
    std::array<char, 1 << 16> buffer;
    bool failed = false;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0;) {
        failed = failed || std::fwrite(buffer.data(), 1, got, copy.get()) != got;
    }
    if (failed || std::ferror(file.get()) != 0 || std::fflush(copy.get()) != 0) {
        return failure{"cannot read the file"};
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
    if (!write_text(stdout, bytes) || std::fflush(stdout) != 0) {
        return failure{"cannot write to standard output"};
    }
    return written_file{};
}
