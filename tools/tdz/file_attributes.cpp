#include "file_attributes.h"

namespace {

const struct {
    uint32_t bit;
    char letter;
    const char* name;
} kAttributes[] = {{0x1, 'R', "read-only"}, {0x2, 'H', "hidden"},      {0x4, 'S', "system"},
                   {0x10, 'D', "directory"}, {0x20, 'A', "archive"},     {0x80, 'N', "normal"},
                   {0x100, 'T', "temporary"}, {0x1000, 'O', "offline"}, {0x2000, 'I', "not indexed"}};

}  // namespace

std::vector<std::string> AttributeNames(uint32_t attributes)
{
    std::vector<std::string> names;
    for (const auto& attribute : kAttributes) {
        if ((attributes & attribute.bit) != 0)
            names.emplace_back(attribute.name);
    }
    return names;
}

std::string AttributeLetters(uint32_t attributes)
{
    std::string letters;
    for (const auto& attribute : kAttributes) {
        if ((attributes & attribute.bit) != 0)
            letters += attribute.letter;
    }
    return letters.empty() ? "-" : letters;
}
