// Runs the fuzz target's properties over DSC files built from the pieces that real files
// and their faults are made of, so that every test run checks, on thousands of files,
// that maptool's checker and mapmaker agree.
//
//   dsc_generated [files] [seed]

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::string hex(std::mt19937& random, int digits) {
    static const char DIGITS[] = "0123456789abcdefABCDEF";
    std::string text;
    for (int i = 0; i < digits; ++i) {
        text += DIGITS[random() % 22];
    }
    return text;
}

// One line, or what stands in its place, from the kinds a DSC file holds.
std::string line(std::mt19937& random) {
    const auto pick = [&](int n) { return static_cast<int>(random() % n); };
    switch (pick(16)) {
    case 0:
        return "";
    case 1:
        return "// " + std::string(pick(40), 'c');
    case 2:
        return std::string(pick(3), ' ') + "//" + std::string(pick(300), 'c');
    case 3:
        return hex(random, 1 + pick(4)) + (pick(2) ? "," : " ") + std::string(pick(3), ' ') +
               hex(random, 1 + pick(6)) + (pick(2) ? " // " + std::string(pick(260), 'n') : "");
    case 4:
        return "0x" + hex(random, 2) + ", " + hex(random, 4);
    case 5:
        return hex(random, 2) + " , " + hex(random, 4);
    case 6:
        return hex(random, 2) + ",\t" + hex(random, 4);
    case 7:
        return std::string(1 + pick(3), ' ');
    case 8:
        return hex(random, 2) + (pick(2) ? "," : "");
    case 9:
        return hex(random, 2) + ", " + hex(random, 2) + std::string(1, '\0') + hex(random, 2);
    case 10:
        return "\xEF\xBB\xBF" + hex(random, 2) + ", " + hex(random, 4);
    case 11:
        return hex(random, 2) + ", " + hex(random, 4) + "\r" + hex(random, 2) + ", 0410";
    case 12:
        return std::string(1, '\x1a') + hex(random, 2);
    default:
        return hex(random, 2) + ", " + hex(random, 4) + " // NAME";
    }
}

std::string file(std::mt19937& random) {
    static const char* const ENDS[] = {"\n", "\r\n", "\r", ""};
    // Long files are mostly clean entries, so that they reach the 256-entry limit.
    const bool long_file = random() % 8 == 0;
    const int lines = static_cast<int>(long_file ? 250 + random() % 30 : random() % 12);
    const unsigned noise = long_file ? 200 : 3;
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += random() % noise == 0 ? line(random) : hex(random, 2) + ", " + hex(random, 4);
        text += ENDS[random() % noise == 0 ? random() % 4 : random() % 2];
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const long files = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    std::mt19937 random(argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1);
    for (long i = 0; i < files; ++i) {
        const std::string text = file(random);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
    std::printf("checked %ld generated files\n", files);
    return 0;
}
