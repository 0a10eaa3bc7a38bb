// Writes the descriptor table of the parser's tests as the fuzzer's seed
// corpus: one file per descriptor in the given directory.
#include <cstdio>
#include <fstream>
#include <string>

#include "descriptor_samples.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    for (const auto& sample : hid::test::DescriptorSamples()) {
        std::ofstream out(std::string(argv[1]) + "/" + sample.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(sample.bytes.data()),
                  static_cast<std::streamsize>(sample.bytes.size()));
        if (!out) return 1;
    }
    return 0;
}
