#include "engine/files.h"

#include "platform/atomic_file.h"
#include "platform/file_identity.h"
#include "platform/files.h"

#include <cerrno>

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
        return failure{"cannot open the file: " + error_text(errno)};
    }
    return file;
}

std::string display_name(const std::string& path) {
    return path == "-" ? "<stdin>" : path;
}

bool is_the_file(std::FILE* file, const std::string& path) {
    return same_file_as_path(descriptor_of(file), path);
}

result<void> replace_file_with(const std::string& path,
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
        return failure{error_text(error)};
    }
    return {};
}

result<void> write_output(const std::string& path, std::string_view bytes) {
    if (!path.empty() && path != "-") {
        return replace_file_with(path, [bytes](std::FILE* file) {
            return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        });
    }
    if (!write_text(stdout, bytes) || std::fflush(stdout) != 0) {
        return failure{"cannot write to standard output"};
    }
    return {};
}
