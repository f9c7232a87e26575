#include "engine/file_tags.h"

#include "engine/codec_module.h"
#include "engine/content_kind.h"
#include "engine/mpg123_stream.h"

#include <cstring>

namespace tarn::engine {

namespace {

std::string text(const mpg123_string *s)
{
    return s && s->p && s->fill > 0 ? std::string(s->p, strnlen(s->p, s->fill)) : std::string();
}

// An ID3v1 field: up to `size` bytes in Latin-1, padded with NULs or spaces.
std::string latin1(const char *field, std::size_t size)
{
    std::string utf8;
    for (std::size_t i = 0; i < size && field[i] != '\0'; ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        if (c < 0x80) {
            utf8 += char(c);
        } else {
            utf8 += char(0xc0 | c >> 6);
            utf8 += char(0x80 | (c & 0x3f));
        }
    }
    return utf8;
}

FileTags readId3(std::unique_ptr<FileReader> file)
{
    Mpg123Stream stream(std::move(file));
    std::string error;
    Mpg123Ptr handle = stream.open(0, error);
    FileTags tags;
    long rate = 0;
    int channels = 0, encoding = 0;
    // The tags are parsed as the first frame is found.
    if (!handle || mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK)
        return tags;
    mpg123_id3v1 *v1 = nullptr;
    mpg123_id3v2 *v2 = nullptr;
    if (!(mpg123_meta_check(handle.get()) & MPG123_ID3) ||
        mpg123_id3(handle.get(), &v1, &v2) != MPG123_OK)
        return tags;
    if (v2) // ID3v2 first; an ID3v1 tag at the end fills what it lacks
        tags = FileTags{text(v2->title), text(v2->artist), text(v2->album)};
    if (v1 && std::memcmp(v1->tag, "TAG", 3) == 0) {
        if (tags.title.empty())
            tags.title = latin1(v1->title, sizeof v1->title);
        if (tags.artist.empty())
            tags.artist = latin1(v1->artist, sizeof v1->artist);
        if (tags.album.empty())
            tags.album = latin1(v1->album, sizeof v1->album);
    }
    return tags;
}

} // namespace

FileTags readFileTags(const std::string &path)
{
    auto file = std::make_unique<FileReader>();
    std::string error;
    if (!file->open(path, CancelToken{}, error))
        return {};
    if (sniffContent(*file) == ContentKind::Mpeg)
        return readId3(std::move(file));
    CodecModule *module = codecModule(error);
    return module ? module->readTags(path) : FileTags{};
}

} // namespace tarn::engine
