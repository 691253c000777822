// Lists the names a TrueType font stores, one a line, in plain words:
//   Windows Japanese full name<TAB>text
// Windows texts are read as UTF-16BE, Macintosh Japanese ones as CP932, and
// both shown in UTF-8. The demo uses it to show the names before and after.
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::uint32_t get16(const std::vector<unsigned char>& b, std::size_t at) {
    return at + 2 <= b.size() ? (b[at] << 8) | b[at + 1] : 0;
}

std::uint32_t get32(const std::vector<unsigned char>& b, std::size_t at) {
    return (get16(b, at) << 16) | get16(b, at + 2);
}

std::string toUtf8(const char* from, std::string text) {
    iconv_t cd = iconv_open("UTF-8", from);
    // iconv_open's failure value is (iconv_t)-1.
    if (cd == reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
        return text;
    }
    std::string out(text.size() * 4 + 4, '\0');
    char* in = text.data();
    std::size_t inLeft = text.size();
    char* o = out.data();
    std::size_t outLeft = out.size();
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

// Where a name is kept: which system reads it, in which language.
const char* placeOf(std::uint32_t platform, std::uint32_t language) {
    if (platform == 1) {
        return language == 11 ? "Mac Japanese (CP932)" : "Mac";
    }
    if (platform == 3) {
        return language == 0x0411   ? "Windows Japanese"
               : language == 0x0409 ? "Windows English"
                                    : "Windows";
    }
    return "other";
}

const char* kindOf(std::uint32_t nameId) {
    switch (nameId) {
        case 0:
            return "notice";
        case 1:
            return "family name";
        case 2:
            return "style";
        case 3:
            return "unique name";
        case 4:
            return "full name";
        case 5:
            return "version";
        case 6:
            return "PostScript name";
        case 9:
            return "designer";
        case 16:
            return "typographic family";
        case 17:
            return "typographic style";
        default:
            return "other name";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: font_names FONT\n");
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<unsigned char> font;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        font.push_back(static_cast<unsigned char>(c));
    }
    std::fclose(file);

    std::size_t name = 0;
    for (std::uint32_t i = 0; i < get16(font, 4); ++i) {
        if (get32(font, 12 + 16 * i) == 0x6E616D65) {  // 'name'
            name = get32(font, 12 + 16 * i + 8);
        }
    }
    if (name == 0) {
        std::fprintf(stderr, "%s: no name table\n", argv[1]);
        return 1;
    }
    const std::size_t storage = name + get16(font, name + 4);
    for (std::uint32_t i = 0; i < get16(font, name + 2); ++i) {
        const std::size_t record = name + 6 + 12 * static_cast<std::size_t>(i);
        const std::uint32_t platform = get16(font, record);
        const std::size_t at = storage + get16(font, record + 10);
        const std::size_t length = get16(font, record + 8);
        if (at + length > font.size()) {
            continue;
        }
        std::string text(reinterpret_cast<const char*>(font.data()) + at, length);
        text = toUtf8(platform == 1 ? "CP932" : "UTF-16BE", text);
        std::printf("%s %s\t%s\n", placeOf(platform, get16(font, record + 4)),
                    kindOf(get16(font, record + 6)), text.c_str());
    }
    return 0;
}
