// Names in the encodings of old volumes: listed and recovered through the
// command line with --name-encoding, and the guess of the encoding.
#include "browse/name_decoder.h"
#include "browse_fixtures.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/wait.h>

namespace dorvak::test {
namespace {

namespace fs = std::filesystem;

// UTF-8 text in `encoding`, by iconv itself (not through the decoder).
std::string encode(const std::string& text, const char* encoding) {
    const iconv_t h = iconv_open(encoding, "UTF-8");
    if (h == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no iconv for test");
    std::string out(text.size() * 4, '\0');
    char* in = const_cast<char*>(text.data());
    char* to = out.data();
    std::size_t inLeft = text.size(), outLeft = out.size();
    const std::size_t r = iconv(h, &in, &inLeft, &to, &outLeft);
    iconv_close(h);
    if (r == std::size_t(-1)) throw std::runtime_error("cannot encode " + text);
    out.resize(out.size() - outLeft);
    return out;
}

CliRun cli(const std::string& args, const fs::path& scratch) {
    return runProgram(DORVAK_CLI, args, scratch / "stderr.txt");
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const std::vector<std::string> kRussian{"Документы", "Отчет за год.txt", "фотографии",
                                        "Мои рисунки", "письмо.doc"};
const std::vector<std::string> kJapanese{"写真", "日本語のテスト.txt", "メモ"};
const std::vector<std::string> kWestern{"café.txt", "Größe.doc", "Müller", "Ångström"};
const std::vector<std::string> kPolish{"Zdjęcia", "Łódź.jpg", "źródło.txt", "Kraków"};
const std::vector<std::string> kChinese{"照片", "文档.txt", "音乐"};
const std::vector<std::string> kKorean{"사진", "문서.txt", "음악"};

// Russian names in KOI8-R and Japanese ones in Shift-JIS, side by side.
class NameEncodings : public ::testing::Test {
protected:
    void SetUp() override {
        TreeBuilder t(4096, 64);
        const std::uint32_t docs = t.folder(2, encode(kRussian[0], "KOI8-R"));
        t.file(docs, encode(kRussian[1], "KOI8-R"), pattern(5000, 1));
        t.file(docs, encode(kRussian[4], "KOI8-R"), pattern(70, 2));
        const std::uint32_t photos = t.folder(2, encode(kJapanese[0], "SHIFT_JIS"));
        t.file(photos, encode(kJapanese[1], "SHIFT_JIS"), pattern(300, 3));
        t.file(2, "plain.txt", pattern(10, 4));
        // A link to a file of the KOI8-R folder, its target in KOI8-R too.
        const std::string target = encode(kRussian[0] + "/" + kRussian[4], "KOI8-R");
        t.name(2, {2, 600, encode("ссылка", "KOI8-R")});
        t.raw(statItem(2, 600, 0xA1FF, target.size(), 3000));
        t.raw(directItem(2, 600, 1, std::vector<std::uint8_t>(target.begin(), target.end())));
        t.finish();
        image = scratch.path() / "volume.img";
        std::ofstream(image, std::ios::binary)
            .write(reinterpret_cast<const char*>(t.vb.image.data.data()),
                   std::streamsize(t.vb.image.data.size()));
        dest = scratch.path() / "out";
        fs::create_directory(dest);
    }
    CliRun run(const std::string& command, const std::string& more) {
        return cli(command + " '" + image.string() + "' " + more + " --quiet", scratch.path());
    }
    ScratchDir scratch;
    fs::path image, dest;
};

TEST_F(NameEncodings, ListsTheNamesOfTheChosenEncodingInUtf8) {
    CliRun r = run("list", "--name-encoding KOI8-R");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        has(r.out, "\"path\":\"/Документы/Отчет за год.txt\",\"name\":\"Отчет за год.txt\""))
        << r.out;
    EXPECT_TRUE(has(r.out, "\"path\":\"/plain.txt\"")) << r.out;
    EXPECT_FALSE(has(r.err, "try --name-encoding")) << r.err; // chosen: nothing proposed

    r = run("list", "--name-encoding SHIFT_JIS --path /写真");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "\"path\":\"/写真/日本語のテスト.txt\"")) << r.out;
    r = run("find", "--name-encoding SHIFT_JIS '日本語*'");
    EXPECT_TRUE(has(r.out, "\"name\":\"日本語のテスト.txt\"")) << r.out;

    // None chosen: the raw bytes, escaped, and one line proposing the encoding.
    r = run("list", "");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(has(r.out, "Документы")) << r.out;
    EXPECT_TRUE(has(r.out, "\\udc")) << r.out;
    EXPECT_TRUE(has(r.err, "try --name-encoding KOI8-R\n")) << r.err;

    r = run("list", "--name-encoding NO-SUCH-CODE");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "Unknown name encoding NO-SUCH-CODE")) << r.err;
}

TEST_F(NameEncodings, RecoversUnderTheConvertedNames) {
    CliRun r = run("recover", "'" + dest.string() +
                                  "' --name-encoding KOI8-R --path /Документы --path /ссылка");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(readFile(dest / "Документы" / "Отчет за год.txt"), str(pattern(5000, 1)));
    // The link names the converted folder, so it still reaches its file.
    EXPECT_EQ(fs::read_symlink(dest / "ссылка"), "Документы/письмо.doc");
    EXPECT_EQ(readFile(dest / "ссылка"), str(pattern(70, 2)));
    EXPECT_TRUE(has(r.out, "Renamed: 0\n")) << r.out;

    r = run("recover", "'" + dest.string() + "' --name-encoding SHIFT_JIS --path /写真 --dry-run");
    EXPECT_TRUE(has(r.out, "\"/写真/日本語のテスト.txt\" -> \"/写真/日本語のテスト.txt\""))
        << r.out;
    r = run("recover", "'" + dest.string() + "' --name-encoding SHIFT_JIS --path /写真");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(readFile(dest / "写真" / "日本語のテスト.txt"), str(pattern(300, 3)));
}

// The scorer tells apart code pages that hold the same letters (KOI8-R and
// CP1251 swap upper and lower case, Latin-1 and Latin-2 share most accented
// letters, GB2312 and EUC-JP most byte pairs) and double-byte ones.
TEST(NameEncodingGuess, PicksTheEncodingTheNamesReadAsText) {
    const std::pair<const std::vector<std::string>*, const char*> cases[] = {
        {&kRussian, "KOI8-R"}, {&kRussian, "CP1251"},  {&kRussian, "CP866"},
        {&kJapanese, "CP932"}, {&kJapanese, "EUC-JP"}, {&kChinese, "GB18030"},
        {&kKorean, "EUC-KR"},  {&kWestern, "CP1252"},  {&kPolish, "ISO-8859-2"}};
    for (const auto& [texts, encoding] : cases) {
        std::vector<std::string> raw;
        for (const std::string& t : *texts)
            raw.push_back(encode(t, encoding));
        raw.push_back("ascii.txt");
        const std::vector<std::string_view> names(raw.begin(), raw.end());
        const auto guess = guessNameEncoding(names);
        ASSERT_TRUE(guess) << encoding;
        EXPECT_EQ(guess->encoding, encoding);
        EXPECT_EQ(guess->sampled, texts->size());
        EXPECT_EQ(guess->plausible, texts->size()) << encoding;
    }
    EXPECT_FALSE(guessNameEncoding(std::vector<std::string_view>{"Документы", "a.txt"}));
}

} // namespace
} // namespace dorvak::test
