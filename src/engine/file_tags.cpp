#include "engine/file_tags.h"

#include "engine/codec_module.h"
#include "engine/content_kind.h"
#include "engine/mpg123_stream.h"
#include "engine/riff_chunks.h"

#include <algorithm>
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

bool validUtf8(const std::string &s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int follow = c < 0x80         ? 0
                           : (c >> 5) == 6  ? 1
                           : (c >> 4) == 14 ? 2
                           : (c >> 3) == 30 ? 3
                                            : -1;
        if (follow < 0 || i + std::size_t(follow) >= s.size())
            return false;
        for (int k = 1; k <= follow; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80)
                return false;
        i += std::size_t(follow) + 1;
    }
    return true;
}

// RIFF INFO of a WAV file: INAM, IART and IPRD, in UTF-8 or else (as older
// Windows programs wrote them) Latin-1. Sets `needsModule` when the file also
// has an ID3 chunk, which only the codec module reads.
FileTags readRiffInfo(FileReader &file, bool &needsModule)
{
    FileTags tags;
    constexpr std::int64_t kMaxText = 1024;
    const std::int64_t size = file.size();
    walkRiffChunks(file, 12, size, [&](const RiffChunk &chunk) {
        needsModule = needsModule || chunk.is("id3 ") || chunk.is("ID3 ");
        char type[4];
        if (!chunk.is("LIST") || chunk.size < 4 || file.read(type, 4, chunk.body) != 4 ||
            std::memcmp(type, "INFO", 4) != 0)
            return true;
        const std::int64_t end = std::min<std::int64_t>(size, chunk.body + chunk.size);
        walkRiffChunks(file, chunk.body + 4, end, [&](const RiffChunk &item) {
            std::string *field = item.is("INAM")   ? &tags.title
                                 : item.is("IART") ? &tags.artist
                                 : item.is("IPRD") ? &tags.album
                                                   : nullptr;
            if (!field)
                return true;
            const std::int64_t held = std::min<std::int64_t>(item.size, end - item.body);
            std::string bytes(std::size_t(std::clamp<std::int64_t>(held, 0, kMaxText)), '\0');
            const std::int64_t got = file.read(bytes.data(), bytes.size(), item.body);
            bytes.resize(std::size_t(std::max<std::int64_t>(got, 0)));
            bytes.resize(strnlen(bytes.c_str(), bytes.size()));
            *field = validUtf8(bytes) ? bytes : latin1(bytes.data(), bytes.size());
            return true;
        });
        return true;
    });
    return tags;
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

FileTags readFileTags(const std::string &path, CancelToken cancel)
{
    auto file = std::make_unique<FileReader>();
    std::string error;
    if (!file->open(path, cancel, error))
        return {};
    switch (sniffContent(*file)) {
    case ContentKind::Mpeg:
        return readId3(std::move(file));
    case ContentKind::Wav: {
        bool needsModule = false;
        FileTags tags = readRiffInfo(*file, needsModule);
        if (!needsModule)
            return tags;
        break;
    }
    case ContentKind::Other:
        break;
    }
    CodecModule *module = codecModule(error);
    if (cancel.cancelled())
        return {};
    return module ? module->readTags(path, cancel) : FileTags{};
}

} // namespace tarn::engine
